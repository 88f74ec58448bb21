// Wide text conversion and copy-out, shared by the W entry points
// (driver/entry/wide.cpp) and the SQL_C_WCHAR conversion.
#include "driver/convert/widetext.h"

#include <cstring>

#include "platform/platform.h"
#include "util/Utf16.h"

namespace {

const std::uint16_t* units(const SQLWCHAR* text) { return reinterpret_cast<const std::uint16_t*>(text); }

// Writes n code units and a zero unit; application buffers need not be
// aligned.
void putUnits(void* target, const char16_t* text, std::size_t n) {
    if (n) std::memcpy(target, text, n * sizeof(char16_t));
    const char16_t zero = 0;
    std::memcpy(static_cast<char*>(target) + n * sizeof(char16_t), &zero, sizeof zero);
}

thread_local int g_wideDepth = 0;

}  // namespace

WideCall::WideCall() { ++g_wideDepth; }
WideCall::~WideCall() { --g_wideDepth; }

bool ansiCall() { return g_wideDepth == 0 && plat::ansiBoundaryConverts(); }

std::string setupToInternal(const char* text) {
    const std::size_t n = std::strlen(text);
    return plat::ansiBoundaryConverts() ? plat::ansiToInternal(text, n) : std::string(text, n);
}

const char* ansiOut(const char* text, std::string& held) {
    if (!ansiCall()) return text;
    held = plat::internalToAnsi(text, std::strlen(text));
    return held.c_str();
}

AnsiPiece copyOutAnsiData(char* target, std::size_t room, const char* source, std::size_t bytes) {
    AnsiPiece piece{0, 0, plat::internalToAnsi(source, bytes).size()};
    if (!target) return piece;
    // Character by character: a character the code page lacks becomes one
    // byte, so the lengths of the two forms differ.
    while (piece.consumed < bytes) {
        std::size_t next = piece.consumed + 1;
        while (next < bytes && (static_cast<unsigned char>(source[next]) & 0xC0) == 0x80) ++next;
        const std::string ansi = plat::internalToAnsi(source + piece.consumed, next - piece.consumed);
        if (piece.written + ansi.size() > room) break;
        std::memcpy(target + piece.written, ansi.data(), ansi.size());
        piece.written += ansi.size();
        piece.consumed = next;
    }
    return piece;
}

std::u16string internalToUtf16(const char* text, std::size_t bytes) {
    std::u16string out;
    if (plat::internalIsUtf8()) {
        utf8ToUtf16(text, bytes, out);
    } else {
        const std::string utf8 = plat::ansiToUtf8(text, bytes);
        utf8ToUtf16(utf8.data(), utf8.size(), out);
    }
    return out;
}

std::string utf16ToInternal(const SQLWCHAR* text, std::size_t n) {
    std::string utf8;
    utf16ToUtf8(units(text), n, utf8);
    return plat::internalIsUtf8() ? utf8 : plat::utf8ToAnsi(utf8.data(), utf8.size());
}

WideIn::WideIn(const SQLWCHAR* text, SQLLEN length, Kind kind) {
    given_ = text != nullptr;
    if (!given_ || (length < 0 && length != SQL_NTS)) {
        length_ = length;
        return;
    }
    const std::size_t n = length == SQL_NTS ? utf16Length(units(text)) : std::size_t(length);
    text_ = utf16ToInternal(text, n);
    if (kind == Kind::Setup && plat::ansiBoundaryConverts()) text_ = plat::internalToAnsi(text_.data(), text_.size());
    // A zero the application wrote inside its counted text ends the text here.
    text_.resize(std::strlen(text_.c_str()));
}

SQLRETURN copyOutWide(SQLWCHAR* buffer, SQLLEN capacity, SQLLEN* fullUnits, const char* text, std::size_t bytes) {
    const std::u16string wide = internalToUtf16(text ? text : "", text ? bytes : 0);
    if (fullUnits) *fullUnits = SQLLEN(wide.size());
    if (buffer && capacity > 0) {
        const std::size_t n = utf16FitUnits(reinterpret_cast<const std::uint16_t*>(wide.data()), wide.size(),
                                            std::size_t(capacity - 1));
        putUnits(buffer, wide.data(), n);
    }
    return wide.size() >= std::size_t(capacity < 0 ? 0 : capacity) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

WidePiece copyOutWideData(void* target, SQLLEN bufferBytes, const char* source, std::size_t bytes) {
    const std::size_t room = bufferBytes >= SQLLEN(sizeof(SQLWCHAR)) ? std::size_t(bufferBytes) / 2 - 1 : 0;
    const bool writes = target && bufferBytes >= SQLLEN(sizeof(SQLWCHAR));
    WidePiece piece{0, 0};
    const bool utf8 = plat::internalIsUtf8();
    if (utf8 && writes && bytes <= room && bytes <= 256) {
        // A short ASCII text that fits, the usual cell: widened in place.
        char16_t units[256];
        std::size_t n = 0;
        while (n < bytes && static_cast<unsigned char>(source[n]) < 0x80) units[n] = char16_t(source[n]), ++n;
        if (n == bytes) {
            putUnits(target, units, n);
            return {bytes, bytes * 2};
        }
    }
    if (utf8) {
        // Straight from the UTF-8: only the piece that goes out is converted.
        std::size_t total = 0, used = 0;
        utf8FitUnits(source, bytes, std::size_t(-1), &total);
        piece.remainingBytes = total * 2;
        if (!writes) return piece;
        piece.consumed = utf8FitUnits(source, bytes, room, &used);
        std::u16string wide;
        utf8ToUtf16(source, piece.consumed, wide);
        putUnits(target, wide.data(), wide.size());
        return piece;
    }
    // Another code page: convert it all, and measure the piece that goes out
    // in the source's own bytes.
    const std::u16string wide = internalToUtf16(source, bytes);
    piece.remainingBytes = wide.size() * 2;
    if (!writes) return piece;
    const std::size_t n = utf16FitUnits(reinterpret_cast<const std::uint16_t*>(wide.data()), wide.size(), room);
    putUnits(target, wide.data(), n);
    piece.consumed = n == wide.size() ? bytes
                                      : utf16ToInternal(reinterpret_cast<const SQLWCHAR*>(wide.data()), n).size();
    return piece;
}
