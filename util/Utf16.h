// UTF-16 (the two-byte SQLWCHAR of both platforms) to and from the driver's
// internal UTF-8 text. Ill-formed input never fails: an unpaired surrogate
// or an invalid UTF-8 byte becomes U+FFFD, so a value always arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends the UTF-8 form of units UTF-16 code units.
void utf16ToUtf8(const std::uint16_t* text, std::size_t units, std::string& out);

// Appends the UTF-16 form of bytes bytes of UTF-8.
void utf8ToUtf16(const char* text, std::size_t bytes, std::u16string& out);

// Code units up to the first zero unit.
std::size_t utf16Length(const std::uint16_t* text);

// The number of leading code units of text (units long) that fit into
// capacity units without splitting a surrogate pair.
std::size_t utf16FitUnits(const std::uint16_t* text, std::size_t units, std::size_t capacity);

// The number of leading bytes of text (bytes long) that fit into capacity
// bytes without splitting a UTF-8 sequence.
std::size_t utf8FitBytes(const char* text, std::size_t bytes, std::size_t capacity);

// The number of leading bytes of text (bytes long, UTF-8) that make whole
// characters whose UTF-16 form fits into capacity code units; *units (when
// not null) receives that form's length. An invalid byte counts as one
// character (U+FFFD), as utf8ToUtf16 makes it.
std::size_t utf8FitUnits(const char* text, std::size_t bytes, std::size_t capacity, std::size_t* units);
