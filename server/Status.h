// Status codes of the server's answers. Odd is success, even is failure;
// negative ones end the client's session. The values beyond those the wire
// protocol fixes are this server's own.
#pragma once

#include <cstdint>

namespace vornd {

constexpr std::int32_t kStatusOk = 1;
constexpr std::int32_t kStatusMoreRows = 3;         // a block of rows; more remain
constexpr std::int32_t kStatusVersionMismatch = -4;
constexpr std::int32_t kStatusTooManySessions = 26114;  // the client has its own text for it
constexpr std::int32_t kStatusTlsRequired = -20;    // a clear start at a --tls-only server; the client shows the message

constexpr std::int32_t kStatusNotSupported = 20;    // request number this server does not serve
constexpr std::int32_t kStatusLoginRefused = 22;    // unknown user or wrong password
constexpr std::int32_t kStatusNotLoggedIn = 24;     // a request before a successful start
constexpr std::int32_t kStatusMalformed = 26;       // request fields missing or cut short
constexpr std::int32_t kStatusUnknownCommand = 28;  // Export command this server does not know
constexpr std::int32_t kStatusUnknownFetchKey = 30; // no such object, or it was let go
constexpr std::int32_t kStatusBadText = 32;         // text is not valid UTF-8
constexpr std::int32_t kStatusTooLarge = 34;        // answer beyond the document limit
constexpr std::int32_t kStatusBadRequest = 36;      // well-formed but unusable request

// SQL failures: kStatusSqlBase + 2 * SQLite's primary result code, so
// SQLITE_ERROR gives 1002, SQLITE_BUSY 1010, SQLITE_CONSTRAINT 1038.
constexpr std::int32_t kStatusSqlBase = 1000;

}  // namespace vornd
