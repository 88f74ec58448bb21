// vornd: a VORN server backed by an SQLite database file.
#include "server/Engine.h"
#include "server/Log.h"
#include "server/Server.h"
#include "server/Users.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

vornd::Server* g_server = nullptr;

void onSignal(int) {
    if (g_server) g_server->stop();
}

struct Settings {
    vornd::ServerOptions server;
    std::string logFile;
    bool verbose = false;
    std::string initSql;
    bool initOnly = false;
    std::string tlsCert;
    std::string tlsKey;
};

bool parseNumber(const char* text, unsigned long long max, unsigned long long& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || *end || text[0] == '-' || v > max) return false;
    out = v;
    return true;
}

bool parseListen(const std::string& text, std::string& host, std::string& port) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    unsigned long long p;
    return parseNumber(port.c_str(), 65535, p);
}

enum class Arg { None, Text, Number };

struct Option {
    const char* name;
    Arg arg;
    const char* meta;
    const char* help;
};

const Option kOptions[] = {
    {"--db", Arg::Text, "FILE",
     "SQLite database file to serve (required); created when missing. Sessions share it in WAL mode."},
    {"--listen", Arg::Text, "HOST:PORT",
     "Address to listen on (default 127.0.0.1:7110). Port 0 picks a free port. The address actually "
     "bound is printed on standard output as \"vornd listening on HOST:PORT\"."},
    {"--users", Arg::Text, "FILE",
     "Users file of lines \"user:password\" ('#' starts a comment); read at every login. Without it "
     "every login is accepted."},
    {"--log", Arg::Text, "FILE", "Append log lines to FILE (\"-\" for standard error). Default: no log."},
    {"--verbose", Arg::None, nullptr, "Log every request with its status and time."},
    {"--idle-timeout", Arg::Number, "SECONDS",
     "Close a session that sends nothing for this long (default 3600; 0 never)."},
    {"--login-timeout", Arg::Number, "SECONDS",
     "Time a new connection has to complete its login (default 5); until then its frames are "
     "limited to 4096 bytes."},
    {"--frame-timeout", Arg::Number, "SECONDS",
     "Time allowed to receive the rest of a started frame and to send an answer (default 60)."},
    {"--max-frame", Arg::Number, "BYTES",
     "Largest request frame accepted (default 67108864); a larger one closes the connection."},
    {"--max-sessions", Arg::Number, "N",
     "Logged-in sessions served at once (default 64); a further login is answered \"too many "
     "sessions\". Connections that have not logged in count apart: 16 per source address, 256 in "
     "all, the oldest closed first."},
    {"--statement-timeout", Arg::Number, "SECONDS",
     "Stop a statement that runs longer (default 0: no limit). A statement also stops when its "
     "client disconnects."},
    {"--busy-timeout", Arg::Number, "MS",
     "How long a statement waits for another session's lock (default 10000)."},
    {"--long-threshold", Arg::Number, "BYTES",
     "LONG VARCHAR and LONG VARBINARY values longer than this are sent by fetch key (default 4096)."},
    {"--object-cache", Arg::Number, "MB",
     "Memory per session for values sent by fetch key (default 128); the oldest are let go first."},
    {"--tls-cert", Arg::Text, "FILE",
     "Serve TLS with this certificate (PEM, chain after it); needs --tls-key. Clients that do not "
     "start TLS are still served in clear text unless --tls-only."},
    {"--tls-key", Arg::Text, "FILE", "The private key (PEM) of --tls-cert."},
    {"--tls-only", Arg::None, nullptr, "Refuse clear connections (needs --tls-cert)."},
    {"--init-sql", Arg::Text, "FILE", "Run the SQL script FILE on the database before serving."},
    {"--init-only", Arg::None, nullptr, "Exit after --init-sql instead of serving."},
    {"--help", Arg::None, nullptr, "Show this text."},
    {"--version", Arg::None, nullptr, "Show the server version."},
};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: vornd --db FILE [--listen HOST:PORT] [--users FILE] [--log FILE] [options]\n\n"
                 "A VORN server on SQLite: serves the session handshake and the SQL commands of the\n"
                 "VORNsql ODBC driver over TCP, one thread per connection.\n\nOptions:\n");
    const std::size_t indent = 29, width = 79;
    for (const Option& o : kOptions) {
        std::string head = o.name;
        if (o.meta) head += std::string(" ") + o.meta;
        std::string line = "  " + head;
        line.resize(indent - 1, ' ');
        // Word-wrap the help text under its column.
        std::istringstream words(o.help);
        std::string word;
        std::size_t used = indent - 1;
        while (words >> word) {
            if (used + 1 + word.size() > width && used > indent - 1) {
                line += "\n" + std::string(indent - 1, ' ');
                used = indent - 1;
            }
            line += " " + word;
            used += 1 + word.size();
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fprintf(out, "\nSIGINT or SIGTERM stop the server: sessions are closed and the database left consistent.\n");
}

// 0: go on; otherwise the exit code + 1.
int parse(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const Option* opt = nullptr;
        for (const Option& o : kOptions)
            if (std::strcmp(argv[i], o.name) == 0) opt = &o;
        if (!opt) {
            std::fprintf(stderr, "vornd: unknown option %s (see --help)\n", argv[i]);
            return 3;
        }
        const char* value = nullptr;
        if (opt->arg != Arg::None) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vornd: %s needs a value\n", opt->name);
                return 3;
            }
            value = argv[++i];
        }
        const std::string name = opt->name;
        unsigned long long n = 0;
        if (opt->arg == Arg::Number && !parseNumber(value, 0xFFFFFFFFull, n)) {
            std::fprintf(stderr, "vornd: %s expects a number, not '%s'\n", opt->name, value);
            return 3;
        }
        vornd::ServerOptions& o = s.server;
        if (name == "--help") {
            usage(stdout);
            return 1;
        } else if (name == "--version") {
            std::printf("vornd %s\n", vornd::kServerVersion);
            return 1;
        } else if (name == "--db") {
            o.database = value;
        } else if (name == "--listen") {
            if (!parseListen(value, o.host, o.port)) {
                std::fprintf(stderr, "vornd: --listen expects HOST:PORT, not '%s'\n", value);
                return 3;
            }
        } else if (name == "--users") {
            o.usersFile = value;
        } else if (name == "--log") {
            s.logFile = value;
        } else if (name == "--verbose") {
            s.verbose = true;
        } else if (name == "--idle-timeout") {
            o.idleTimeoutSeconds = static_cast<unsigned>(n);
        } else if (name == "--login-timeout") {
            o.loginTimeoutSeconds = static_cast<unsigned>(n ? n : 1);
        } else if (name == "--frame-timeout") {
            o.frameTimeoutSeconds = static_cast<unsigned>(n ? n : 1);
        } else if (name == "--max-frame") {
            o.maxFrame = static_cast<std::uint32_t>(n);
        } else if (name == "--max-sessions") {
            o.maxSessions = static_cast<unsigned>(n ? n : 1);
        } else if (name == "--statement-timeout") {
            o.statementTimeoutSeconds = static_cast<unsigned>(n);
        } else if (name == "--busy-timeout") {
            o.engine.busyTimeoutMs = static_cast<int>(n > 0x7FFFFFFF ? 0x7FFFFFFF : n);
        } else if (name == "--long-threshold") {
            o.engine.longThreshold = static_cast<std::size_t>(n);
        } else if (name == "--object-cache") {
            o.engine.objectBudget = static_cast<std::size_t>(n) << 20;
        } else if (name == "--tls-cert") {
            s.tlsCert = value;
        } else if (name == "--tls-key") {
            s.tlsKey = value;
        } else if (name == "--tls-only") {
            o.tlsOnly = true;
        } else if (name == "--init-sql") {
            s.initSql = value;
        } else if (name == "--init-only") {
            s.initOnly = true;
        }
    }
    if (s.server.database.empty()) {
        std::fprintf(stderr, "vornd: --db FILE is required (see --help)\n");
        return 3;
    }
    if (s.tlsCert.empty() != s.tlsKey.empty()) {
        std::fprintf(stderr, "vornd: --tls-cert and --tls-key go together\n");
        return 3;
    }
    if (s.server.tlsOnly && s.tlsCert.empty()) {
        std::fprintf(stderr, "vornd: --tls-only needs --tls-cert FILE --tls-key FILE\n");
        return 3;
    }
    if (s.initOnly && s.initSql.empty()) {
        std::fprintf(stderr, "vornd: --init-only needs --init-sql FILE\n");
        return 3;
    }
    return 0;
}

// Opens the database before serving: creates it, switches it to WAL and runs
// the init script. Kept open while serving, so that the write-ahead log and
// its index outlive each session instead of being rebuilt at every login and
// checkpointed away at every logout.
std::unique_ptr<vornd::Engine> prepareDatabase(const Settings& s) {
    std::string error;
    auto engine = vornd::Engine::open(s.server.database, s.server.engine, error);
    if (!engine) {
        std::fprintf(stderr, "vornd: cannot open %s: %s\n", s.server.database.c_str(), error.c_str());
        return nullptr;
    }
    if (!s.initSql.empty()) {
        std::ifstream in(s.initSql, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "vornd: cannot read %s\n", s.initSql.c_str());
            return nullptr;
        }
        std::ostringstream text;
        text << in.rdbuf();
        if (!engine->runScript(text.str(), error)) {
            std::fprintf(stderr, "vornd: %s: %s\n", s.initSql.c_str(), error.c_str());
            return nullptr;
        }
    }
    return engine;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (const int rc = parse(argc, argv, s)) return rc - 1;
    const std::unique_ptr<vornd::Engine> keeper = prepareDatabase(s);
    if (!keeper) return 1;
    if (s.initOnly) return 0;

    if (!s.server.usersFile.empty() && !std::ifstream(s.server.usersFile)) {
        std::fprintf(stderr, "vornd: cannot read the users file %s\n", s.server.usersFile.c_str());
        return 1;
    }
    if (!s.server.usersFile.empty()) {
        const std::string problem = vornd::usersFileProblem(s.server.usersFile);
        if (!problem.empty()) {
            std::fprintf(stderr, "vornd: refusing the users file %s: %s\n", s.server.usersFile.c_str(),
                         problem.c_str());
            return 1;
        }
    }
    if (!s.tlsCert.empty()) {
        std::string error;
        s.server.tls = vornd::TlsContext::load(s.tlsCert, s.tlsKey, error);
        if (!s.server.tls) {
            std::fprintf(stderr, "vornd: %s\n", error.c_str());
            return 1;
        }
    }
    vornd::Log log;
    if (!s.logFile.empty() && !log.open(s.logFile)) {
        std::fprintf(stderr, "vornd: cannot open the log file %s\n", s.logFile.c_str());
        return 1;
    }
    log.setVerbose(s.verbose);

    vornd::Server server(s.server, log);
    std::string bound, error;
    if (!server.listen(bound, error)) {
        std::fprintf(stderr, "vornd: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::printf("vornd listening on %s\n", bound.c_str());
    std::fflush(stdout);
    log.write(0, "vornd %s serving %s on %s", vornd::kServerVersion, s.server.database.c_str(), bound.c_str());
    const bool clean = server.run();
    g_server = nullptr;
    log.write(0, "stopped");
    if (!clean) std::_Exit(1);  // sessions still running cannot be waited for
    return 0;
}
