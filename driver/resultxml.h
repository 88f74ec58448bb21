// Reads the server's answer document (a fault, a success, a result set or a
// single property) into a ResultSet in one pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/PtrStack.h"

struct ResultSet;

// Outcome of a parse. Owns its texts; the caller keeps it as long as it needs
// them and its destructor releases them.
struct ParseStatus {
    std::int32_t code = 1;  // 1 success; a fault's code; Expat's error code
    char* faultSource = nullptr;
    char* faultContext = nullptr;
    char* message = nullptr;  // fault or success text, or Expat's error text

    ParseStatus() = default;
    ParseStatus(ParseStatus&& other) noexcept;
    ParseStatus& operator=(ParseStatus&& other) noexcept;
    ParseStatus(const ParseStatus&) = delete;
    ParseStatus& operator=(const ParseStatus&) = delete;
    ~ParseStatus();

    bool succeeded() const { return code == 1; }
};

// Per-document state handed to the Expat callbacks.
struct ParserContext {
    ParseStatus* status;
    PtrStack stack;          // open Row, Column, P and property records
    ResultSet* resultSet;
    char* text;              // character data collected since last taken
    std::uint32_t textLength;
    std::uint32_t textCapacity;
    // What each stack slot holds: the records differ in type, and a
    // misplaced element pushes a slot that stands for nothing.
    static constexpr int kMaxFrames = 16;
    unsigned char kinds[kMaxFrames];
    std::uint32_t overflow;  // open elements beyond kMaxFrames, not tracked
    bool outOfMemory;
};

// Parses `length` bytes of `document`. When *resultSetPtr is null a result
// set is allocated and stored there; either way the caller owns it, also
// when the document turns out not to be well-formed (what was built stays).
ParseStatus parseXml(const char* document, std::size_t length, ResultSet** resultSetPtr);
