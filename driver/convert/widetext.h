// Text at the wide boundary: the UTF-16 (SQLWCHAR, two bytes on every
// platform) that the W entry points and SQL_C_WCHAR buffers carry, against
// the driver's internal single-byte text. Every wide text an application
// receives goes through copyOutWide; every wide text it hands in through
// WideIn.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

#include "driver/entry/odbc.h"
#include "platform/platform.h"

static_assert(sizeof(SQLWCHAR) == 2, "SQLWCHAR must be a UTF-16 code unit");

// The call in progress came through a W entry point: while one lives on the
// thread, internal texts are not converted for an ANSI caller.
class WideCall {
public:
    WideCall();
    ~WideCall();
    WideCall(const WideCall&) = delete;
    WideCall& operator=(const WideCall&) = delete;
};

// Whether texts cross the ANSI boundary in this call: an ANSI entry point on
// a platform whose internal text is not the application's code page.
bool ansiCall();

// An ANSI caller's input text as an internal text (held keeps it); the text
// itself when nothing is converted, for a null text and for a negative length
// other than SQL_NTS. length becomes the converted length, or SQL_NTS when
// it was SQL_NTS or the converted length does not fit.
template <typename L>
const SQLCHAR* ansiIn(const SQLCHAR* text, L& length, std::string& held);

// A setup text (ANSI code page) as an internal text.
std::string setupToInternal(const char* text);

// An internal text (terminated) for an ANSI caller: converted into held
// when ansiCall(), else the text itself.
const char* ansiOut(const char* text, std::string& held);

// One piece of a character value for an ANSI caller's SQL_C_CHAR buffer when
// ansiCall(): whole characters in the ANSI code page, at most room bytes.
// consumed: source bytes that went out; written: bytes written (no
// terminator); remaining: the ANSI length of the whole source.
struct AnsiPiece {
    std::size_t consumed;
    std::size_t written;
    std::size_t remaining;
};
AnsiPiece copyOutAnsiData(char* target, std::size_t room, const char* source, std::size_t bytes);

// The internal text as UTF-16, and back.
std::u16string internalToUtf16(const char* text, std::size_t bytes);
std::string utf16ToInternal(const SQLWCHAR* text, std::size_t units);

// An application's wide input text (length in characters, or SQL_NTS) as an
// internal text for the function the ANSI export calls. A null text stays
// null and a negative length other than SQL_NTS is handed on unchanged, so
// that the internal function refuses both as it does for the ANSI export.
class WideIn {
public:
    // Setup: the text is a setup text (connection string, data-source name,
    // login), kept in the ANSI code page.
    enum class Kind { Internal, Setup };
    WideIn(const SQLWCHAR* text, SQLLEN length, Kind kind = Kind::Internal);
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

template <typename L>
const SQLCHAR* ansiIn(const SQLCHAR* text, L& length, std::string& held) {
    if (!text || !ansiCall() || (length < 0 && length != SQL_NTS)) return text;
    const char* chars = reinterpret_cast<const char*>(text);
    held = plat::ansiToInternal(chars, length == SQL_NTS ? std::strlen(chars) : std::size_t(length));
    if (length != SQL_NTS) length = held.size() <= std::size_t(std::numeric_limits<L>::max()) ? L(held.size()) : L(SQL_NTS);
    return reinterpret_cast<const SQLCHAR*>(held.c_str());
}
