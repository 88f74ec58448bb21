// Byte-level codecs of the server: base64 for binary values and the object
// clause, UTF-8 checks for everything that goes into an XML document.
#pragma once

#include <string>
#include <string_view>

namespace vornd {

// Appends the base64 form (standard alphabet, padded, no line breaks).
void base64Append(std::string& out, const void* bytes, std::size_t count);

// Strict decoding: whitespace is skipped, anything else outside the alphabet
// or misplaced padding makes it fail (false, `out` unspecified).
bool base64Decode(const std::string& text, std::string& out);

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates, nothing
// beyond U+10FFFF).
bool isValidUtf8(std::string_view s);

// True when `s` can travel as XML character data and reach the client
// unchanged: valid UTF-8, no control characters (line breaks included, which
// the client's parser reports as chunks of their own and drops), no U+FFFE or
// U+FFFF, and no run of blanks that would stand alone between two escaped
// characters or make up the whole value.
bool survivesAsCharacterData(std::string_view s);

// True when `s` is printable ASCII with nothing to escape and not blanks
// only: it goes into a document as it is (the common case, checked first).
bool isPlainText(std::string_view s);

// A real number's text as SQLite gives it ("%!.15g": 15 significant digits,
// at least one after the point), without SQLite's printf, which was a sixth
// of the server's time for a result with a real column. Only for a finite
// value whose shortest exact form has at most 15 digits: there both
// roundings agree. Anything else returns an empty view, for SQLite to render.
std::string_view realText(double value, char (&out)[32]);

// Appends `s` escaped for an XML attribute value. Bytes that XML cannot
// carry become '?'; for names and messages, never for column values.
void xmlAttributeAppend(std::string& out, std::string_view s);

// Appends `s` escaped as XML character data: only '&', '<' and '>' become
// references, since each reference reaches the client as a chunk of its own.
// Bytes that XML cannot carry become '?'; column values go through
// survivesAsCharacterData first, so for them nothing is replaced.
void xmlTextAppend(std::string& out, std::string_view s);

}  // namespace vornd
