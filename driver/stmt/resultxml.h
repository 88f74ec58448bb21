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
    // 1 when the document broke the protocol or a limit of AnswerLimits;
    // message then says how and code is -2.
    std::uint8_t refused = 0;

    ParseStatus() = default;
    ParseStatus(ParseStatus&& other) noexcept;
    ParseStatus& operator=(ParseStatus&& other) noexcept;
    ParseStatus(const ParseStatus&) = delete;
    ParseStatus& operator=(const ParseStatus&) = delete;
    ~ParseStatus();

    bool succeeded() const { return code == 1; }
};

// What an answer is checked against while it is read. A document that
// breaks a limit is refused at that point: nothing it declares beyond the
// limit is ever stored.
struct AnswerLimits {
    std::int64_t maxRows = -1;          // rows in one block; -1: any number
    std::uint64_t maxStoredBytes = 0;   // what the stored result may cost; 0: no limit
    bool valuesWithinColumns = false;   // a row holds no more values than the columns described
};

struct AnswerParser;  // an Expat parser kept across documents

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
    AnswerLimits limits;
    std::uint64_t stored;    // bytes the result set holds so far, as charged
    void* parser;            // the Expat parser, to stop it at a refusal
    bool refused;
    char refusal[160];
    std::int64_t rowsElementAt;  // byte offset of the last ResultSetData start tag Expat read; -1 none
    // The document when values may be read in place (its block then goes to
    // the result set), with the count of values that point into it.
    char* inPlace;
    const char* inPlaceEnd;
    std::uint64_t inPlaceValues;
};

// Parses `length` bytes of `document`. When *resultSetPtr is null a result
// set is allocated and stored there; either way the caller owns it, also
// when the document turns out not to be well-formed (what was built stays).
ParseStatus parseXml(const char* document, std::size_t length, ResultSet** resultSetPtr);

// How the rows of a result are read. Expat reads every document; the rows
// of one in the exact form the server writes are read by a strict scanner
// that gives the same result, and any other byte there sends the whole
// document through Expat alone. ExpatOnly always does that (for comparing).
enum class RowReading { Scanned, ExpatOnly };

// The same with a parser kept by the caller (reset before the document; null
// makes one for this document only) and the answer checked against limits.
ParseStatus parseAnswer(AnswerParser* parser, const char* document, std::size_t length, ResultSet** resultSetPtr,
                        const AnswerLimits& limits, RowReading reading = RowReading::Scanned);
// The same for a document in a heap block of the caller's: plain values are
// read in place, not copied, and the result set then keeps the block (the
// caller's pointer becomes null) and releases it with its rows.
ParseStatus parseAnswerInPlace(AnswerParser* parser, char*& document, std::size_t length, ResultSet** resultSetPtr,
                               const AnswerLimits& limits);

// A parser for parseAnswer; null when the heap refuses.
AnswerParser* newAnswerParser();
void freeAnswerParser(AnswerParser* parser);
