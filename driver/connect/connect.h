// Opening and closing a connection's server session: SQLConnect,
// SQLDriverConnect, SQLDisconnect, SQLEndTran. The bodies below run with the
// connection's lock held and its diagnostics cleared.
#pragma once

#include "driver/entry/handles.h"

#include <string>

struct SetupContext;

// Host and service used when a data source names none.
extern const char* const kDefaultHost;     // "localhost"
extern const char* const kDefaultService;  // "pcvdbs"
// Driver name of an output connection string made without a DSN.
extern const char* const kDriverName;      // "Kalmo VORNsql driver"

SQLRETURN VSqlConnect(Connection* conn, const SQLCHAR* serverName, SQLSMALLINT nameLength1,
                      const SQLCHAR* userName, SQLSMALLINT nameLength2, const SQLCHAR* authentication,
                      SQLSMALLINT nameLength3);
SQLRETURN VSqlDriverConnect(Connection* conn, SQLHWND windowHandle, const SQLCHAR* inConnectionString,
                            SQLSMALLINT stringLength1, SQLCHAR* outConnectionString, SQLSMALLINT bufferLength,
                            SQLSMALLINT* stringLength2Ptr, SQLUSMALLINT driverCompletion);
SQLRETURN VSqlDisconnect(Connection* conn);

// The complete connection string handed back by SQLDriverConnect. With
// maskPassword the PWD value is replaced, for the log.
std::string outConnectionString(const SetupContext& ctx, bool maskPassword = false);

// Whether SQLDriverConnect shows its prompt: only with a window, and then by
// the completion mode and whether Server, Service, UID or PWD is empty.
bool needsPrompt(const SetupContext& ctx, bool haveWindow, SQLUSMALLINT driverCompletion);

// A request on a connection whose link to the server was lost is not sent:
// false, with 08S01 on the calling handle's area.
bool sessionUsable(Connection* conn, std::uint32_t odbcVersion, DiagArea& area);
// After a request with the kit's or the server's status: a negative status is
// a failed exchange, after which the kit's session is broken. Then 08S01 with
// the system's reason goes to the area, the connection is marked lost, and
// the result is true. Empties the connection's error stack either way.
bool linkFailed(Connection* conn, std::int32_t status, std::uint32_t odbcVersion, DiagArea& area);

// The wait limit of a statement's exchanges when its query time-out
// (SQL_ATTR_QUERY_TIMEOUT) governs them: the time-out, unless the application
// set a shorter connection time-out; 0 when the connection's limit applies.
std::uint16_t queryLimit(const Statement* stmt);

// Holds the kit's wait limits at the statement's query limit for the exchanges
// of one call, and puts the connection's limit back afterwards.
class QueryTimeLimit {
public:
    explicit QueryTimeLimit(const Statement* stmt);
    ~QueryTimeLimit();
    QueryTimeLimit(const QueryTimeLimit&) = delete;
    QueryTimeLimit& operator=(const QueryTimeLimit&) = delete;

private:
    Connection* conn_;
    bool set_ = false;
};

// As linkFailed, but a wait that outlasted the statement's query limit is
// HYT00 "Timeout expired" (the session is broken all the same).
bool linkFailed(Statement* stmt, std::int32_t status);

template <typename H>
bool sessionUsable(H* handle) {
    return sessionUsable(handle->conn, odbcVersionOf(handle), handle->diag);
}
template <typename H>
bool linkFailed(H* handle, std::int32_t status) {
    return linkFailed(handle->conn, status, odbcVersionOf(handle), handle->diag);
}
