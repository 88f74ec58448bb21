// Connecting: the data source's keys or the connection string, the kit's
// start-up block, and the session's start and end.
//
// Choices where the ODBC contract leaves room:
// - A data source without a Server key connects to "localhost"; SQLDriverConnect
//   uses the same host and service defaults when its Server or Service value is
//   empty (the output string still leaves the empty values out).
// - The kit's start can succeed with a message for the user (an odd status
//   other than 1). The session is then open, and only SQLDisconnect could end
//   it, so the connect counts as successful.
// - Where there is no window system (Linux) SQLDriverConnect cannot prompt:
//   a window handle is then ignored and the connection is tried with the
//   values that the connection string and the data source give.
#include "driver/connect/connect.h"

#include "driver/entry/apicall.h"
#include "driver/connect/transport.h"
#include "driver/stmt/resultxml.h"
#include "log/VfxLogger.h"
#include "platform/dialog.h"
#include "platform/installer.h"
#include "setup/setup.h"
#include "vornvdb/CData.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

const char* const kDefaultHost = "localhost";
const char* const kDefaultService = "pcvdbs";
const char* const kDriverName = "Kalmo VORNsql driver";

namespace {

const char* const kOdbcIni = "ODBC.INI";
// Seconds, the kit's two time limits unless the application set its own.
constexpr std::uint16_t kKitTimeLimit = 30;

// Length of an ODBC text argument: 0 for null, the text's length for
// SQL_NTS, the given length otherwise (any other negative length is -1),
// never past a terminator inside the given length.
long argLength(const SQLCHAR* text, SQLSMALLINT length) {
    if (!text) return 0;
    if (length == SQL_NTS) return long(std::strlen(reinterpret_cast<const char*>(text)));
    if (length < 0) return -1;
    const void* nul = std::memchr(text, '\0', std::size_t(length));
    return nul ? long(static_cast<const SQLCHAR*>(nul) - text) : long(length);
}

// Copies length characters (cut to size-1) and a terminator.
template <std::size_t N>
void copyField(char (&field)[N], const char* text, std::size_t length) {
    if (length > N - 1) length = N - 1;
    if (length) std::memmove(field, text, length);
    field[length] = '\0';
}
template <std::size_t N>
void copyField(char (&field)[N], const char* text) {
    copyField(field, text, std::strlen(text));
}

template <std::size_t N>
void readKey(const char* dsn, const char* key, const char* defaultValue, char (&out)[N]) {
    plat::inst::getPrivateProfileString(dsn, key, defaultValue, out, int(N), kOdbcIni);
}

void applyLogSettings(const char* level, const char* file) {
    applyLogLevelText(level);
    // Appended to, so that every connection of a program keeps its lines.
    if (file[0]) driverLog().Open(file, "a");
}

// One failure text of the kit: what happened, in which call, from which part.
struct KitReport {
    std::string text, method, source;
};

// Empties the connection's error stack; its entries oldest first.
std::vector<KitReport> takeKitReports(Connection* conn) {
    std::vector<KitReport> reports;
    if (!conn->errStack) return reports;
    char entry[1024];
    for (;;) {
        std::memset(entry, 0, sizeof entry);
        if (VdbErrStackPop(conn->errStack, entry, sizeof entry - 1) <= 0) break;
        // "text\tmethod\tsource"
        KitReport r;
        const char* tab1 = std::strchr(entry, '\t');
        const char* tab2 = tab1 ? std::strchr(tab1 + 1, '\t') : nullptr;
        r.text.assign(entry, tab1 ? std::size_t(tab1 - entry) : std::strlen(entry));
        if (tab1) r.method.assign(tab1 + 1, tab2 ? std::size_t(tab2 - tab1 - 1) : std::strlen(tab1 + 1));
        if (tab2) r.source = tab2 + 1;
        reports.push_back(std::move(r));
    }
    std::reverse(reports.begin(), reports.end());
    return reports;
}

// The comms modules: their reports carry the system's or the TLS library's
// reason for a failed connection.
const char* const kCommsSources[] = {"Com/wsa11/Wsa11com", "Com/tls/Tlscom"};

bool isCommsSource(const std::string& source) {
    for (const char* s : kCommsSources)
        if (source == s) return true;
    return false;
}
const char* const kTimedOut = "Connection timed out";

bool isTimeOut(const KitReport& r) { return (r.method == "select" || r.method == "connect") && r.text == kTimedOut; }

// The kit's own texts for a failed start; anything else under the start
// request is the server's refusal of the login.
const char* const kKitStartTexts[] = {
    "Communication Error",
    "Client and server versions mismatched",
    "Server initialization failed",
    "Can\xB4t read host initialization file",
    "VORNserver: unable to change host user",
};

bool isKitStartText(const std::string& text) {
    for (const char* known : kKitStartTexts)
        if (text.compare(0, std::strlen(known), known) == 0) return true;
    return false;
}

std::uint16_t limitSeconds(std::uint32_t seconds) {
    if (seconds == 0) return kKitTimeLimit;
    return seconds > 0xFFFF ? std::uint16_t(0xFFFF) : std::uint16_t(seconds);
}

// The diagnostic for a start that left no session, from the kit's reports.
void addStartFailure(Connection* conn, const char* host, const char* service, std::uint16_t limit) {
    const std::vector<KitReport> reports = takeKitReports(conn);
    char text[600];
    const std::string where = std::string(host) + ":" + service;
    // The first report of the comms module is the system's reason.
    for (const KitReport& r : reports) {
        if (!isCommsSource(r.source)) continue;
        if (isTimeOut(r)) {
            std::snprintf(text, sizeof text, "Login timeout expired: no answer from %s within %u seconds",
                          where.c_str(), unsigned(limit));
            addOdbcError(conn, "HYT00", text);
        } else {
            std::snprintf(text, sizeof text, "Unable to establish connection to %s: %s (%s)", where.c_str(),
                          r.text.c_str(), r.method.c_str());
            addOdbcError(conn, "08001", text);
        }
        return;
    }
    for (const KitReport& r : reports) {
        if (r.method == "VORNkernel") {  // a refusal the kit has a status text for
            std::snprintf(text, sizeof text, "Server rejected the connection: %s", r.text.c_str());
            addOdbcError(conn, "08004", text);
            return;
        }
        if (r.method != "StartVorn" || r.text.empty()) continue;
        if (isKitStartText(r.text)) {
            std::snprintf(text, sizeof text, "Unable to establish connection to %s: %s", where.c_str(),
                          r.text.c_str());
            addOdbcError(conn, "08001", text);
        } else {
            addOdbcError(conn, "28000", r.text.c_str());
        }
        return;
    }
    std::snprintf(text, sizeof text, "Unable to establish connection to %s", where.c_str());
    addOdbcError(conn, "08001", text);
}

// A connection that is still open is closed before it is opened again, so
// that no session is left without an owner. The error stack outlives the
// session, whose end request may still report onto it.
void endSession(Connection* conn) {
    if (conn->session) VdbEndVorn(conn->session, 0);
    conn->session = nullptr;
    conn->answerParser.reset();
    conn->linkLost = 0;
    if (conn->errStack) VdbErrStackDestroy(conn->errStack);
    conn->errStack = nullptr;
}

// Starts the kit session for conn (its uid and pwd); true when one is open,
// otherwise a diagnostic says why.
bool startSession(Connection* conn, const char* host, const char* service, const TransportValues& transport) {
    endSession(conn);
    copyField(conn->service, service);
    conn->errStack = VdbErrStackCreate("", "", "", "");
    KitStartupParams params;
    std::memset(&params, 0, sizeof params);
    params.errorStack = conn->errStack;
    copyField(params.commsModule, "wsa11.dll");
    copyField(params.host, host);
    copyField(params.service, service);
    const std::uint16_t sessionLimit = limitSeconds(conn->connectionTimeout);
    const std::uint16_t loginLimit = conn->loginTimeout ? limitSeconds(conn->loginTimeout) : sessionLimit;
    params.receiveTimeout = loginLimit;
    params.sendTimeout = loginLimit;
    std::string problem;
    if (!applyTransport(transport, params, problem)) {
        addOdbcError(conn, "08001", problem.c_str());
        endSession(conn);
        return false;
    }
    params.maxFrameLength = conn->maxAnswerSize;
    HVDB session = nullptr;
    std::int32_t status = VdbStartVorn(&session, &params, conn->uid, conn->pwd, 0, 0);
    driverLog().Debug("VSqlConnect", "Start status %d", int(status));
    if ((status & 1) && session) {
        conn->session = session;
        if (loginLimit != sessionLimit) VdbSetTimeLimits(session, sessionLimit, sessionLimit);
        takeKitReports(conn);  // nothing of a successful start concerns the application
        return true;
    }
    addStartFailure(conn, host, service, loginLimit);
    endSession(conn);
    return false;
}

// A whole decimal number from 1 to `most`, else 0.
std::uint32_t wholeNumber(const char* text, std::uint64_t most) {
    if (!text || text[0] < '0' || text[0] > '9') return 0;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || *end || v < 1 || v > most) return 0;
    return std::uint32_t(v);
}

// The answer keys of a data source or connection string: BlockSize (rows per
// block, 1 to 100,000, or "all"; empty: 10) and MaxAnswerSize (bytes, up to
// the kit's frame limit; empty: that limit). A value not understood is
// refused with 08001 naming it.
bool applyAnswerKeys(Connection* conn, const char* blockSize, const char* maxAnswerSize) {
    constexpr std::uint32_t kMostRows = 100000;
    char text[400];
    if (!blockSize[0]) {
        conn->blockSize = 0;
    } else if (strcasecmp(blockSize, "all") == 0) {
        conn->blockSize = kAllRows;
    } else if (!(conn->blockSize = wholeNumber(blockSize, kMostRows))) {
        std::snprintf(text, sizeof text, "Invalid BlockSize value \"%.255s\": rows per block from 1 to %u, or all",
                      blockSize, unsigned(kMostRows));
        addOdbcError(conn, "08001", text);
        return false;
    }
    if (!maxAnswerSize[0]) {
        conn->maxAnswerSize = 0;
    } else if (!(conn->maxAnswerSize = wholeNumber(maxAnswerSize, vornwire::kMaxFrameLength))) {
        std::snprintf(text, sizeof text, "Invalid MaxAnswerSize value \"%.255s\": bytes from 1 to %u",
                      maxAnswerSize, unsigned(vornwire::kMaxFrameLength));
        addOdbcError(conn, "08001", text);
        return false;
    }
    return true;
}

// A value as a connection-string value: in braces when it holds a ';' or
// starts with '{', a '}' inside doubled, so the string parses back.
std::string quoted(const char* value) {
    if (!std::strchr(value, ';') && value[0] != '{') return value;
    std::string s = "{";
    for (const char* p = value; *p; ++p) {
        s += *p;
        if (*p == '}') s += '}';
    }
    return s + "}";
}

struct ContextHolder {
    SetupContext* ctx = plat::heapNew<SetupContext>();
    ~ContextHolder() { plat::heapDelete(ctx); }
};

}  // namespace

// ---------------------------------------------------------------------------

SQLRETURN VSqlConnect(Connection* conn, const SQLCHAR* serverName, SQLSMALLINT nameLength1,
                      const SQLCHAR* userName, SQLSMALLINT nameLength2, const SQLCHAR* authentication,
                      SQLSMALLINT nameLength3) {
    long nameLength = argLength(serverName, nameLength1);
    if (nameLength <= 0 || nameLength >= long(sizeof conn->dsn)) {
        addOdbcError(conn, "HY000", "Invalid Connection Parameters");
        return SQL_ERROR;
    }
    endSession(conn);
    copyField(conn->dsn, reinterpret_cast<const char*>(serverName), std::size_t(nameLength));

    readKey(conn->dsn, "User", "", conn->uid);
    readKey(conn->dsn, "Password", "", conn->pwd);
    long userLength = argLength(userName, nameLength2);
    if (userLength >= 1 && userLength <= 255)
        copyField(conn->uid, reinterpret_cast<const char*>(userName), std::size_t(userLength));
    long passwordLength = argLength(authentication, nameLength3);
    if (passwordLength >= 1 && passwordLength <= 32)
        copyField(conn->pwd, reinterpret_cast<const char*>(authentication), std::size_t(passwordLength));

    readKey(conn->dsn, "Server", kDefaultHost, conn->server);
    char service[34];
    readKey(conn->dsn, "Service", kDefaultService, service);

    char logLevel[2];
    char logFile[256];
    readKey(conn->dsn, "LogLevel", "0", logLevel);
    readKey(conn->dsn, "LogFile", "", logFile);
    applyLogSettings(logLevel, logFile);

    TransportValues transport;
    readTransportKeys(transport, conn->dsn);
    char blockSize[32], maxAnswerSize[32];
    readKey(conn->dsn, "BlockSize", "", blockSize);
    readKey(conn->dsn, "MaxAnswerSize", "", maxAnswerSize);
    if (!applyAnswerKeys(conn, blockSize, maxAnswerSize)) return SQL_ERROR;

    return startSession(conn, conn->server, service, transport) ? SQL_SUCCESS : SQL_ERROR;
}

bool needsPrompt(const SetupContext& ctx, bool haveWindow, SQLUSMALLINT driverCompletion) {
    if (!haveWindow) return false;
    const SetupAttribute* a = ctx.attributes;
    bool missing = !a[SLOT_SERVER].value[0] || !a[SLOT_SERVICE].value[0] || !a[SLOT_UID].value[0] ||
                   !a[SLOT_PWD].value[0];
    switch (driverCompletion) {
    case SQL_DRIVER_PROMPT: return true;
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED: return missing;
    default: return false;
    }
}

std::string outConnectionString(const SetupContext& ctx, bool maskPassword) {
    const SetupAttribute* a = ctx.attributes;
    std::string out;
    char piece[300];  // each piece is cut to 299 characters
    auto add = [&](const char* format, const char* value) {
        std::snprintf(piece, sizeof piece, format, value);
        out += piece;
    };
    if (a[SLOT_DSN].present) add("DSN=%s", quoted(a[SLOT_DSN].value).c_str());
    else add("DRIVER=%s", kDriverName);
    struct Piece {
        const char* format;
        int slot;
    };
    static const Piece pieces[] = {
        {";SERVER=%s", SLOT_SERVER},     {";SERVICE=%s", SLOT_SERVICE},   {";UID=%s", SLOT_UID},
        {";PWD=%s", SLOT_PWD},           {";LogLevel=%s", SLOT_LOGLEVEL}, {";LogFile=%s", SLOT_LOGFILE},
    };
    for (const Piece& p : pieces) {
        const char* value = a[p.slot].value;
        if (!value[0]) continue;
        add(p.format, p.slot == SLOT_PWD && maskPassword ? "****" : quoted(value).c_str());
    }
    return out;
}

SQLRETURN VSqlDriverConnect(Connection* conn, SQLHWND windowHandle, const SQLCHAR* inConnectionString,
                            SQLSMALLINT stringLength1, SQLCHAR* outConnectionString, SQLSMALLINT bufferLength,
                            SQLSMALLINT* stringLength2Ptr, SQLUSMALLINT driverCompletion) {
    ContextHolder holder;
    SetupContext* ctx = holder.ctx;
    if (!ctx) {
        addOdbcError(conn, "HY001", "Memory allocation error");
        return SQL_ERROR;
    }
    // The string ends at its terminator, or earlier when a length is given.
    parseConnectionString(*ctx, reinterpret_cast<const char*>(inConnectionString),
                          stringLength1 == SQL_NTS || stringLength1 < 0 ? -1 : long(stringLength1));
    readMissingKeys(*ctx);
    TransportValues transport;
    parseTransportKeywords(transport, reinterpret_cast<const char*>(inConnectionString),
                           stringLength1 == SQL_NTS || stringLength1 < 0 ? -1 : long(stringLength1));

    if (needsPrompt(*ctx, windowHandle != nullptr, driverCompletion)) {
        DsnDialog prompt(*ctx, DsnDialog::Mode::Connect);
        plat::DialogResult shown = plat::runModalDialog(reinterpret_cast<void*>(windowHandle), IDD_DSN_SETUP, prompt);
        if (shown == plat::DialogResult::Cancel) return SQL_NO_DATA;
    }

    const SetupAttribute* a = ctx->attributes;
    applyLogSettings(a[SLOT_LOGLEVEL].value, a[SLOT_LOGFILE].value);

    endSession(conn);
    copyField(conn->dsn, a[SLOT_DSN].value);
    const char* host = a[SLOT_SERVER].value[0] ? a[SLOT_SERVER].value : kDefaultHost;
    const char* service = a[SLOT_SERVICE].value[0] ? a[SLOT_SERVICE].value : kDefaultService;
    copyField(conn->server, host);
    copyField(conn->uid, a[SLOT_UID].value);
    copyField(conn->pwd, a[SLOT_PWD].value);
    if (!applyAnswerKeys(conn, a[SLOT_BLOCKSIZE].value, a[SLOT_MAXANSWERSIZE].value)) return SQL_ERROR;

    readTransportKeys(transport, a[SLOT_DSN].value);
    if (!startSession(conn, host, service, transport)) return SQL_ERROR;

    const std::string transportText = transportConnectionString(transport);
    std::string out = ::outConnectionString(*ctx) + transportText;
    driverLog().Debug("SQLDriverConnect", "Connstring %s%s", ::outConnectionString(*ctx, true).c_str(),
                      transportText.c_str());
    if (outConnectionString && bufferLength >= 1) {
        std::size_t n = out.size() < std::size_t(bufferLength - 1) ? out.size() : std::size_t(bufferLength - 1);
        std::memcpy(outConnectionString, out.data(), n);
        outConnectionString[n] = '\0';
    }
    if (stringLength2Ptr) *stringLength2Ptr = SQLSMALLINT(out.size() > 32767 ? 32767 : out.size());
    // Connected either way; a cut output string is a warning (01004).
    if (outConnectionString && out.size() >= std::size_t(bufferLength < 0 ? 0 : bufferLength)) {
        noteTextCut();
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN VSqlDisconnect(Connection* conn) {
    const char* tag = "SQLDisconnect";
    driverLog().Debug(tag, "Number of statements %d", int(conn->statements.size()));
    while (!conn->statements.empty()) VSqlFreeStatement(conn->statements.front(), SQL_DROP);
    driverLog().Debug(tag, "Number of descriptors %d", int(conn->descriptors.size()));
    while (!conn->descriptors.empty()) VSqlFreeDescriptor(conn->descriptors.front());
    endSession(conn);
    return SQL_SUCCESS;
}

bool sessionUsable(Connection* conn, std::uint32_t odbcVersion, DiagArea& area) {
    if (!conn || !conn->linkLost) return true;
    char text[300];
    std::snprintf(text, sizeof text,
                  "Communication link failure: the connection to %s:%s was lost; disconnect and connect again",
                  conn->server, conn->service);
    addOdbcError(odbcVersion, area, "08S01", text);
    return false;
}

namespace {

bool reportLinkFailure(Connection* conn, std::int32_t status, std::uint32_t odbcVersion, DiagArea& area,
                       std::uint16_t queryLimitSeconds) {
    if (!conn) return false;
    const std::vector<KitReport> reports = takeKitReports(conn);
    if (status >= 0) return false;
    conn->linkLost = 1;
    const KitReport* reason = reports.empty() ? nullptr : &reports.front();
    for (const KitReport& r : reports)
        if (isCommsSource(r.source)) {
            reason = &r;
            break;
        }
    char text[600];
    if (reason && isTimeOut(*reason) && queryLimitSeconds) {
        // The session is broken all the same: the answer may still come.
        std::snprintf(text, sizeof text,
                      "Timeout expired: no answer from %s:%s within the query time-out of %u seconds; "
                      "the connection is closed",
                      conn->server, conn->service, unsigned(queryLimitSeconds));
        driverLog().Error("linkFailed", 0, "%s", text);
        addOdbcError(odbcVersion, area, "HYT00", text);
        return true;
    }
    if (reason && isTimeOut(*reason))
        std::snprintf(text, sizeof text, "Communication link failure: no answer from %s:%s within %u seconds",
                      conn->server, conn->service, unsigned(limitSeconds(conn->connectionTimeout)));
    else if (reason)
        std::snprintf(text, sizeof text, "Communication link failure: %s:%s: %s (%s)", conn->server, conn->service,
                      reason->text.c_str(), reason->method.c_str());
    else
        std::snprintf(text, sizeof text, "Communication link failure: %s:%s", conn->server, conn->service);
    driverLog().Error("linkFailed", 0, "%s", text);
    addOdbcError(odbcVersion, area, "08S01", text);
    return true;
}

}  // namespace

bool linkFailed(Connection* conn, std::int32_t status, std::uint32_t odbcVersion, DiagArea& area) {
    return reportLinkFailure(conn, status, odbcVersion, area, 0);
}

bool linkFailed(Statement* stmt, std::int32_t status) {
    return reportLinkFailure(stmt->conn, status, odbcVersionOf(stmt), stmt->diag, queryLimit(stmt));
}

std::uint16_t queryLimit(const Statement* stmt) {
    const std::uint32_t query = stmt->queryTimeout;
    const Connection* conn = stmt->conn;
    if (!query || !conn) return 0;
    if (conn->connectionTimeout && conn->connectionTimeout < query) return 0;
    return limitSeconds(query);
}

QueryTimeLimit::QueryTimeLimit(const Statement* stmt) : conn_(stmt->conn) {
    const std::uint16_t limit = queryLimit(stmt);
    if (!limit || !conn_ || !conn_->session || conn_->linkLost) return;
    set_ = VdbSetTimeLimits(conn_->session, limit, limit) == 1;
}

QueryTimeLimit::~QueryTimeLimit() {
    if (!set_ || !conn_->session) return;
    const std::uint16_t limit = limitSeconds(conn_->connectionTimeout);
    VdbSetTimeLimits(conn_->session, limit, limit);
}

// ---------------------------------------------------------------------------
// Exported functions.

VSQL_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR* ServerName, SQLSMALLINT NameLength1,
                                         SQLCHAR* UserName, SQLSMALLINT NameLength2, SQLCHAR* Authentication,
                                         SQLSMALLINT NameLength3) {
    return ConnCall(Api::SQLConnect, ConnectionHandle)
        .run([&](Connection* conn) {
            return VSqlConnect(conn, ServerName, NameLength1, UserName, NameLength2, Authentication, NameLength3);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC ConnectionHandle, SQLHWND WindowHandle,
                                               SQLCHAR* InConnectionString, SQLSMALLINT StringLength1,
                                               SQLCHAR* OutConnectionString, SQLSMALLINT BufferLength,
                                               SQLSMALLINT* StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    return ConnCall(Api::SQLDriverConnect, ConnectionHandle)
        .enter(int(DriverCompletion))
        .run([&](Connection* conn) {
            return VSqlDriverConnect(conn, WindowHandle, InConnectionString, StringLength1, OutConnectionString,
                                     BufferLength, StringLength2Ptr, DriverCompletion);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle) {
    return ConnCall(Api::SQLDisconnect, ConnectionHandle).run([&](Connection* conn) { return VSqlDisconnect(conn); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT) {
    // The server has no transactions that the driver controls.
    return ApiFrame(Api::SQLEndTran).run([] { return SQL_SUCCESS; });
}
