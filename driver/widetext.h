// Text at the wide boundary: the UTF-16 (SQLWCHAR, two bytes on every
// platform) that the W entry points and SQL_C_WCHAR buffers carry, against
// the driver's internal single-byte text. Every wide text an application
// receives goes through copyOutWide; every wide text it hands in through
// WideIn.
#pragma once

#include <cstddef>
#include <string>

#include "driver/odbc.h"

static_assert(sizeof(SQLWCHAR) == 2, "SQLWCHAR must be a UTF-16 code unit");

// The internal text as UTF-16, and back.
std::u16string internalToUtf16(const char* text, std::size_t bytes);
std::string utf16ToInternal(const SQLWCHAR* text, std::size_t units);

// An application's wide input text (length in characters, or SQL_NTS) as an
// internal text for the function the ANSI export calls. A null text stays
// null and a negative length other than SQL_NTS is handed on unchanged, so
// that the internal function refuses both as it does for the ANSI export.
class WideIn {
public:
    WideIn(const SQLWCHAR* text, SQLLEN length);
    SQLCHAR* text() { return given_ ? reinterpret_cast<SQLCHAR*>(&text_[0]) : nullptr; }
    // SQL_NTS for a converted text (it holds no zero the application did not
    // write), else the application's own length.
    SQLLEN length() const { return length_; }
    // Bytes of the converted text.
    std::size_t size() const { return text_.size(); }

private:
    std::string text_;
    bool given_ = false;
    SQLLEN length_ = SQL_NTS;
};

// The wide twin of copyOutString: the internal text goes out as UTF-16,
// at most capacity-1 code units and a zero unit when buffer is not null and
// capacity > 0, whole characters only (never half a surrogate pair);
// *fullUnits (when not null) receives the whole text's length in code
// units. Returns SQL_SUCCESS_WITH_INFO when the text did not fit, else
// SQL_SUCCESS. Adds no diagnostic.
SQLRETURN copyOutWide(SQLWCHAR* buffer, SQLLEN capacity, SQLLEN* fullUnits, const char* text, std::size_t bytes);

// One piece of a character value for an SQL_C_WCHAR buffer of bufferBytes
// bytes (whole characters and a zero unit). consumed: the source bytes that
// went out; remainingBytes: the UTF-16 length in bytes of the whole source.
struct WidePiece {
    std::size_t consumed;
    std::size_t remainingBytes;
};
WidePiece copyOutWideData(void* target, SQLLEN bufferBytes, const char* source, std::size_t bytes);
