#include "WireClient.h"

#include "vornvdb/ScrambleKey.h"

#include <expat.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

namespace vorndtest {

// ---------------------------------------------------------------------------
// The server process.

namespace {

// Starts vornd with `args`; its standard output comes back in `out`.
pid_t spawnVornd(const std::vector<std::string>& args, int& out) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<std::string> all{VORND_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    out = pipeFds[0];
    return pid;
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

int runVornd(const std::vector<std::string>& args, std::string* output) {
    int out = -1;
    const pid_t pid = spawnVornd(args, out);
    if (pid < 0) return -1;
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    if (output) *output = text;
    return exitStatus(status);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool VorndProcess::start(const std::string& database, const std::vector<std::string>& extra,
                         std::string& error) {
    std::vector<std::string> args{"--db", database, "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    int out = -1;
    pid_ = spawnVornd(args, out);
    if (pid_ < 0) {
        error = "cannot start vornd";
        return false;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char c[256];
        const ssize_t n = read(out, c, sizeof c);
        if (n <= 0) break;
        line.append(c, static_cast<std::size_t>(n));
    }
    ::close(out);
    const std::string prefix = "vornd listening on 127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) != 0) {
        error = "vornd did not start: '" + line + "'";
        stop();
        return false;
    }
    port_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + prefix.size()));
    return port_ != 0;
}

bool VorndProcess::running() {
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
}

int VorndProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 2000; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return exitStatus(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

namespace {
const char* const kBeside[] = {"", "-wal", "-shm", ".users", ".log"};
}

TestServer::TestServer(const std::string& name, const std::string& users, std::vector<std::string> extra) {
    const char* tmp = std::getenv("TMPDIR");
    db_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vornd-test-" + std::to_string(getpid()) + "-" + name + ".db";
    for (const char* suffix : kBeside) ::unlink((db_ + suffix).c_str());
    if (runVornd({"--db", db_, "--init-sql", VORND_SAMPLE_SQL, "--init-only"}) != 0) {
        error_ = "cannot create the sample database " + db_;
        return;
    }
    if (!users.empty()) {
        std::ofstream(db_ + ".users") << users;
        extra.insert(extra.end(), {"--users", db_ + ".users"});
    }
    extra.insert(extra.end(), {"--log", log()});
    if (!start(db_, extra, error_) && error_.empty()) error_ = "vornd did not name its port";
}

TestServer::~TestServer() {
    stop();
    for (const char* suffix : kBeside) ::unlink((db_ + suffix).c_str());
}

// ---------------------------------------------------------------------------
// The client.

namespace {

constexpr int kAnswerTimeoutMs = 60000;

CLSTRING item(const std::string& s) { return CLSTRING(s.data(), s.size()); }

std::string take(CPACKET& p, bool isLong = false) {
    CLSTRING item;
    isLong ? p.TakeLongItem(item) : p.TakeShortItem(item);
    return std::string(item.Data() ? item.Data() : "", item.Length());
}

// Milliseconds left until `deadline` (0 once it has passed).
int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool WireClient::connect(std::uint16_t port) {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close();
        return false;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void WireClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool WireClient::sendRaw(const void* bytes, std::size_t count) {
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::send(fd_, p, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string WireClient::receiveRaw(std::size_t count, int timeoutMs) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, msLeft(deadline)) <= 0) break;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

bool WireClient::closedByPeer(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, msLeft(deadline)) <= 0) return false;
        char buf[256];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
    }
}

namespace {

bool sendFrame(WireClient& c, const CPACKET& body) {
    unsigned char head[4];
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(body.Length()), head);
    return c.sendRaw(head, 4) && c.sendRaw(body.Data(), body.Length());
}

CPACKET request(std::uint16_t number, const CPACKET& args) {
    CPACKET body(args);
    vornwire::AddHeader(body, vornwire::kKindRequest, number);
    return body;
}

}  // namespace

Answer WireClient::callBody(const CPACKET& body) {
    Answer a;
    if (!sendFrame(*this, body)) return a;
    const std::string head = receiveRaw(4, kAnswerTimeoutMs);
    std::uint32_t length = 0;
    if (head.size() != 4 || !vornwire::DecodeFrameHeader(reinterpret_cast<const unsigned char*>(head.data()), length) ||
        length < 7)
        return a;
    const std::string bytes = receiveRaw(length, kAnswerTimeoutMs);
    CPACKET block;
    if (bytes.size() != length || !block.Resize(length)) return a;
    std::memcpy(block.Data(), bytes.data(), length);
    std::uint32_t status = 0;
    block.TakeU8(a.kind).TakeU16(a.number).TakeU32(status);
    a.status = static_cast<std::int32_t>(status);
    a.message = take(block);
    a.results.Assign(block);
    a.ok = true;
    return a;
}

bool WireClient::send(std::uint16_t number, const CPACKET& args) { return sendFrame(*this, request(number, args)); }

Answer WireClient::call(std::uint16_t number, const CPACKET& args) { return callBody(request(number, args)); }

Answer WireClient::start(const std::string& user, const std::string& password,
                         const std::string& clientVersion, std::uint32_t flags) {
    unsigned char scrambled[vornwire::kScrambleLength];
    CPACKET p;
    if (flags & 1) {
        vornwire::ScrambleBytes(user.c_str(), scrambled);
        p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled));
    } else {
        p.AppendShortItem(item(user));
    }
    vornwire::ScrambleBytes(password.c_str(), scrambled);
    p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled)).AppendU32(0);
    p.AppendShortItem(item(clientVersion)).AppendShortItem(item("")).AppendU32(flags);
    return call(110, p);
}

CPACKET WireClient::exportArgs(const std::string& command, const std::string& text, std::uint32_t rows,
                               std::uint32_t block, std::uint32_t flags) {
    CPACKET p;
    p.AppendU32(0).AppendU32(0).AppendU32(0);
    p.AppendShortItem(item(command)).AppendShortItem(item("")).AppendLongItem(item(""));
    p.AppendLongItem(CLSTRING(text.c_str(), text.size() + 1));  // with its terminator
    p.AppendU32(rows).AppendU32(flags).AppendU32(block);
    return p;
}

ExportAnswer WireClient::exportCommand(const std::string& command, const std::string& text,
                                       std::uint32_t rows, std::uint32_t block, std::uint32_t flags) {
    Answer a = call(1007, exportArgs(command, text, rows, block, flags));
    ExportAnswer e;
    if (!a.ok) return e;
    e.ok = true;
    e.status = a.status;
    std::uint32_t skipped;
    a.results.TakeU32(skipped).TakeU32(skipped).TakeU32(skipped);
    e.data = take(a.results, true);
    e.text = take(a.results, true);
    a.results.TakeU32(e.result1).TakeU32(e.result2);
    e.message = take(a.results);
    return e;
}

// ---------------------------------------------------------------------------
// Documents, read as the client reads them.

namespace {

struct ParseState {
    Document doc;
    std::string text, encoding;
    bool valueHasPart = false;
    Value value;
};

// Lenient: the documents under test come from the server's own encoder.
std::string base64(const std::string& in) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        const std::size_t v = alphabet.find(c);
        if (c == '=' || v == std::string::npos) continue;
        acc = (acc << 6) | static_cast<unsigned>(v);
        if ((bits += 6) >= 8) out += static_cast<char>((acc >> (bits -= 8)) & 0xFF);
    }
    return out;
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attrs) {
    auto& s = *static_cast<ParseState*>(user);
    Document& d = s.doc;
    std::map<std::string, std::string> a;
    for (int i = 0; attrs[i]; i += 2) a[attrs[i]] = attrs[i + 1];
    const auto number = [&](const char* key, long otherwise) { return a.count(key) ? std::atol(a[key].c_str()) : otherwise; };
    const std::string n = name;
    if (d.root.empty()) d.root = n;
    if (n == "ResultSetMetaData") {
        d.columnCount = number("columnCount", -1);
        d.rowCount = number("rowCount", -1);
        d.statementType = a["statementType"];
    } else if (n == "ColumnMetaData") {
        d.columns.push_back(Column{a["columnName"], a["tableName"], a["columnType"], a["isNullable"] == "true"});
    } else if (n == "Row") {
        d.rows.emplace_back();
        d.rowNumbers.push_back(number("rowNumber", 0));
    } else if (n == "Column") {
        s.value = Value();
        s.value.isNull = a["null"] == "true";
        s.value.fetchKey = a["fetchKey"];
        s.encoding = a["encoding"];
        s.valueHasPart = false;
        s.text.clear();
    } else if (n == "Fault") {
        d.faultCode = number("faultCode", 0);
    }
}

void XMLCALL onEnd(void* user, const XML_Char* name) {
    auto& s = *static_cast<ParseState*>(user);
    const std::string n = name;
    if (n == "P") {
        // A part takes the text collected so far; the value keeps the first.
        if (!s.valueHasPart) s.value.data = s.text;
        s.valueHasPart = true;
    } else if (n == "Column") {
        if (!s.text.empty()) s.value.data = s.encoding.empty() ? s.text : base64(s.text);
        s.value.hasData = !s.text.empty() || s.valueHasPart;
        if (!s.doc.rows.empty()) s.doc.rows.back().push_back(s.value);
    } else if (n == "Fault" || n == "Success" || n == "property") {
        s.doc.message = s.text;
    }
    s.text.clear();
}

void XMLCALL onText(void* user, const XML_Char* chunk, int length) {
    const std::string text(chunk, static_cast<std::size_t>(length));
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return;  // the client drops such chunks
    static_cast<ParseState*>(user)->text += text;
}

}  // namespace

Document parseDocument(const std::string& xml) {
    ParseState s;
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &s);
    XML_SetElementHandler(p, onStart, onEnd);
    XML_SetCharacterDataHandler(p, onText);
    s.doc.wellFormed = XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    if (!s.doc.wellFormed) s.doc.error = XML_ErrorString(XML_GetErrorCode(p));
    XML_ParserFree(p);
    return s.doc;
}

}  // namespace vorndtest
