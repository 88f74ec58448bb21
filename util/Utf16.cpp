// UTF-16 and UTF-8 conversion for the wide entry points and SQL_C_WCHAR.
#include "util/Utf16.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHigh(std::uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(std::uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; advances i past it (one byte for
// an invalid one, which yields U+FFFD).
char32_t decodeUtf8(const unsigned char* text, std::size_t bytes, std::size_t& i) {
    const unsigned char lead = text[i];
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t extra;
    char32_t c, min;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + extra >= bytes) {  // cut short
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (text[i + k] & 0x3F);
    }
    i += extra + 1;
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
    return c;
}

}  // namespace

void utf16ToUtf8(const std::uint16_t* text, std::size_t units, std::string& out) {
    out.reserve(out.size() + units);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t u = text[i];
        if (isHigh(u) && i + 1 < units && isLow(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, isHigh(u) || isLow(u) ? kReplacement : char32_t(u));
        }
    }
}

void utf8ToUtf16(const char* text, std::size_t bytes, std::u16string& out) {
    out.reserve(out.size() + bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < bytes;) {
        const char32_t c = decodeUtf8(p, bytes, i);
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
}

std::size_t utf16Length(const std::uint16_t* text) {
    std::size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

std::size_t utf16FitUnits(const std::uint16_t* text, std::size_t units, std::size_t capacity) {
    if (units <= capacity) return units;
    // Cutting between a high and a low surrogate would leave half a character.
    if (capacity > 0 && isHigh(text[capacity - 1]) && isLow(text[capacity])) return capacity - 1;
    return capacity;
}

std::size_t utf8FitBytes(const char* text, std::size_t bytes, std::size_t capacity) {
    if (bytes <= capacity) return bytes;
    std::size_t n = capacity;
    // Back up over continuation bytes to the start of the cut sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

std::size_t utf8FitUnits(const char* text, std::size_t bytes, std::size_t capacity, std::size_t* units) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0, used = 0;
    while (i < bytes) {
        std::size_t next = i;
        const std::size_t width = decodeUtf8(p, bytes, next) >= 0x10000 ? 2 : 1;
        if (used + width > capacity) break;
        used += width;
        i = next;
    }
    if (units) *units = used;
    return i;
}
