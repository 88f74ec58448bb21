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
#include <thread>

namespace vorndtest {

// ---------------------------------------------------------------------------
// The server process.

std::string vorndPath() { return VORND_BINARY; }

namespace {

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> v;
    for (std::string& a : args) v.push_back(&a[0]);
    v.push_back(nullptr);
    return v;
}

std::string tempDir() {
    const char* t = std::getenv("TMPDIR");
    return t && *t ? t : "/tmp";
}

// Starts vornd with `args`; its standard output comes back in `out`.
pid_t spawnVornd(const std::vector<std::string>& args, int& out) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<std::string> all{vorndPath()};
        all.insert(all.end(), args.begin(), args.end());
        auto argv = argvOf(all);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    out = pipeFds[0];
    return pid;
}

}  // namespace

int runVornd(const std::vector<std::string>& args, std::string* output) {
    int out[1];
    const pid_t pid = spawnVornd(args, out[0]);
    if (pid < 0) return -1;
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string makeSampleDatabase(const std::string& name) {
    const std::string path = tempDir() + "/vornd-test-" + std::to_string(getpid()) + "-" + name + ".db";
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
    if (runVornd({"--db", path, "--init-sql", VORND_SAMPLE_SQL, "--init-only"}) != 0) return std::string();
    return path;
}

SampleDatabase::SampleDatabase(const std::string& name) : path_(makeSampleDatabase(name)), ok_(!path_.empty()) {}

SampleDatabase::~SampleDatabase() {
    for (const std::string& suffix : suffixes_) ::unlink((path_ + suffix).c_str());
}

std::string SampleDatabase::with(const std::string& suffix) {
    suffixes_.push_back(suffix);
    return path_ + suffix;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

VorndProcess::~VorndProcess() { stop(); }

bool VorndProcess::start(const std::string& database, const std::vector<std::string>& extra,
                         std::string& error) {
    std::vector<std::string> args{"--db", database, "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    int out[1];
    pid_ = spawnVornd(args, out[0]);
    if (pid_ < 0) {
        error = "cannot start vornd";
        return false;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char c[256];
        const ssize_t n = read(out[0], c, sizeof c);
        if (n <= 0) break;
        line.append(c, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
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
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int VorndProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 2000; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

// ---------------------------------------------------------------------------
// The client.

namespace {

constexpr int kAnswerTimeoutMs = 60000;

void appendShort(CPACKET& p, const std::string& s) {
    CLSTRING item(s.data(), s.size());
    p.AppendShortItem(item);
}

void appendLong(CPACKET& p, const std::string& s) {
    CLSTRING item(s.data(), s.size());
    p.AppendLongItem(item);
}

std::string takeShort(CPACKET& p) {
    CLSTRING item;
    p.TakeShortItem(item);
    return std::string(item.Data() ? item.Data() : "", item.Length());
}

std::string takeLong(CPACKET& p) {
    CLSTRING item;
    p.TakeLongItem(item);
    return std::string(item.Data() ? item.Data() : "", item.Length());
}

}  // namespace

WireClient::~WireClient() { close(); }

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
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WireClient::receiveExact(void* buffer, std::size_t count, int timeoutMs) {
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) return false;
        const ssize_t n = ::recv(fd_, p, count, 0);
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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) return false;
        char buf[256];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
    }
}

Answer WireClient::callBody(const CPACKET& body) {
    Answer a;
    unsigned char head[4];
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(body.Length()), head);
    if (!sendRaw(head, 4) || !sendRaw(body.Data(), body.Length())) return a;
    if (!receiveExact(head, 4, kAnswerTimeoutMs)) return a;
    std::uint32_t length = 0;
    if (!vornwire::DecodeFrameHeader(head, length) || length < 7) return a;
    CPACKET block;
    if (!block.Resize(length) || !receiveExact(block.Data(), length, kAnswerTimeoutMs)) return a;
    std::uint32_t status = 0;
    block.TakeU8(a.kind).TakeU16(a.number).TakeU32(status);
    a.status = static_cast<std::int32_t>(status);
    a.message = takeShort(block);
    a.results.Assign(block);
    a.ok = true;
    return a;
}

Answer WireClient::call(std::uint16_t number, const CPACKET& args) {
    CPACKET body(args);
    vornwire::AddHeader(body, vornwire::kKindRequest, number);
    return callBody(body);
}

Answer WireClient::start(const std::string& user, const std::string& password,
                         const std::string& clientVersion, std::uint32_t flags) {
    unsigned char scrambled[vornwire::kScrambleLength];
    CPACKET p;
    if (flags & 1) {
        vornwire::ScrambleBytes(user.c_str(), scrambled);
        p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled));
    } else {
        appendShort(p, user);
    }
    vornwire::ScrambleBytes(password.c_str(), scrambled);
    p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled));
    p.AppendU32(0);
    appendShort(p, clientVersion);
    appendShort(p, "");
    p.AppendU32(flags);
    return call(110, p);
}

ExportAnswer WireClient::exportCommand(const std::string& command, const std::string& text,
                                       std::uint32_t rows, std::uint32_t block, std::uint32_t flags) {
    CPACKET p;
    p.AppendU32(0).AppendU32(0).AppendU32(0);
    appendShort(p, command);
    appendShort(p, "");
    appendLong(p, "");
    appendLong(p, std::string(text.data(), text.size() + 1));  // with its terminator
    p.AppendU32(rows).AppendU32(flags).AppendU32(block);
    Answer a = call(1007, p);
    ExportAnswer e;
    if (!a.ok) return e;
    e.ok = true;
    e.status = a.status;
    a.results.TakeU32(e.a).TakeU32(e.b).TakeU32(e.c);
    e.data = takeLong(a.results);
    e.text = takeLong(a.results);
    a.results.TakeU32(e.result1).TakeU32(e.result2);
    e.message = takeShort(a.results);
    return e;
}

// ---------------------------------------------------------------------------
// Documents, read as the client reads them.

namespace {

struct ParseState {
    Document* doc;
    std::string text;
    bool inColumn = false;
    bool valueHasPart = false;
    std::string encoding;
    Value value;
};

const char* attribute(const XML_Char** attrs, const char* name) {
    for (int i = 0; attrs[i]; i += 2)
        if (std::strcmp(attrs[i], name) == 0) return attrs[i + 1];
    return nullptr;
}

bool isTrue(const char* v) { return v && strcasecmp(v, "true") == 0; }

bool base64(const std::string& in, std::string& out) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out.clear();
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=') break;
        const std::size_t v = alphabet.find(c);
        if (v == std::string::npos) continue;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return true;
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attrs) {
    auto* s = static_cast<ParseState*>(user);
    Document& d = *s->doc;
    const std::string n = name;
    if (d.root.empty()) d.root = n;
    if (n == "ResultSetMetaData") {
        if (const char* v = attribute(attrs, "columnCount")) d.columnCount = std::atol(v);
        if (const char* v = attribute(attrs, "rowCount")) d.rowCount = std::atol(v);
        if (const char* v = attribute(attrs, "statementType")) d.statementType = v;
    } else if (n == "ColumnMetaData") {
        Column c;
        if (const char* v = attribute(attrs, "columnName")) c.name = v;
        if (const char* v = attribute(attrs, "columnLabel")) c.label = v;
        if (const char* v = attribute(attrs, "tableName")) c.table = v;
        if (const char* v = attribute(attrs, "columnType")) c.type = v;
        c.nullable = isTrue(attribute(attrs, "isNullable"));
        d.columns.push_back(c);
    } else if (n == "Row") {
        d.rows.emplace_back();
        const char* v = attribute(attrs, "rowNumber");
        d.rowNumbers.push_back(v ? std::atol(v) : 0);
    } else if (n == "Column") {
        s->inColumn = true;
        s->value = Value();
        s->value.isNull = isTrue(attribute(attrs, "null"));
        if (const char* v = attribute(attrs, "fetchKey")) s->value.fetchKey = v;
        const char* enc = attribute(attrs, "encoding");
        s->encoding = enc ? enc : "";
        s->valueHasPart = false;
        s->text.clear();
    } else if (n == "Fault") {
        if (const char* v = attribute(attrs, "faultCode")) d.faultCode = std::atol(v);
    }
}

void XMLCALL onEnd(void* user, const XML_Char* name) {
    auto* s = static_cast<ParseState*>(user);
    Document& d = *s->doc;
    const std::string n = name;
    if (n == "P") {
        // A part takes the text collected so far; the value keeps the first.
        if (!s->valueHasPart) s->value.data = s->text;
        s->valueHasPart = true;
        s->text.clear();
    } else if (n == "Column") {
        Value v = s->value;
        if (!s->text.empty()) {
            v.hasData = true;
            if (!s->encoding.empty())
                base64(s->text, v.data);
            else
                v.data = s->text;
        } else if (s->valueHasPart) {
            v.hasData = true;
        }
        if (!d.rows.empty()) d.rows.back().push_back(v);
        s->text.clear();
        s->inColumn = false;
    } else if (n == "Fault" || n == "Success" || n == "property") {
        d.message = s->text;
        s->text.clear();
    }
}

void XMLCALL onText(void* user, const XML_Char* chunk, int length) {
    auto* s = static_cast<ParseState*>(user);
    bool blank = true;
    for (int i = 0; i < length; ++i)
        if (!std::strchr(" \t\r\n", chunk[i])) blank = false;
    if (blank) return;  // the client drops such chunks
    s->text.append(chunk, static_cast<std::size_t>(length));
}

}  // namespace

Document parseDocument(const std::string& xml) {
    Document d;
    ParseState s;
    s.doc = &d;
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &s);
    XML_SetElementHandler(p, onStart, onEnd);
    XML_SetCharacterDataHandler(p, onText);
    if (XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK) {
        d.wellFormed = true;
    } else {
        d.error = XML_ErrorString(XML_GetErrorCode(p));
    }
    XML_ParserFree(p);
    return d;
}

}  // namespace vorndtest
