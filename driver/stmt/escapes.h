// ODBC escape sequences ({d ...}, {fn ...}, {oj ...}, {escape ...}, {call ...})
// rewritten into the server's own SQL before the text is scanned for markers.
#pragma once

#include <cstdint>
#include <string>

// What a translation may put into the text besides the input itself.
struct EscapeContext {
    const char* userName = "";  // {fn USER()}
};

// Why a text could not be translated.
struct EscapeFailure {
    const char* sqlState = "";
    std::string message;
};

// Writes the translated text to out; false with failure set when the text
// holds an escape that cannot be translated. Quoted literals, quoted
// identifiers and comments are copied as they stand.
bool translateEscapes(const std::string& in, const EscapeContext& context, std::string& out,
                      EscapeFailure& failure);

// The SQLGetInfo answer for an information type that describes what the
// translation offers (the function bitmasks, SQL_CONVERT_FUNCTIONS and the
// SQL_CONVERT_ types); false for any other type.
bool escapeInfoAnswer(unsigned infoType, std::uint32_t& answer);

struct Statement;

// Translates the statement's sqlText in place unless SQL_ATTR_NOSCAN is on;
// false (diagnostic recorded, no text left) when it cannot be translated.
bool translateStatementEscapes(Statement* stmt);
