#include "server/Codec.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vornd {
namespace {

const char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Length of the UTF-8 sequence starting at s[i] and its code point; 0 when
// the sequence is malformed.
inline std::size_t utf8Sequence(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len;
    std::uint32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2; cp = c & 0x1F; min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3; cp = c & 0x0F; min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4; cp = c & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool needsEscape(unsigned char c) { return c == '&' || c == '<' || c == '>'; }

}  // namespace

void base64Append(std::string& out, const void* bytes, std::size_t count) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    out.reserve(out.size() + (count + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (count - i == 1) {
        const std::uint32_t v = p[i] << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (count - i == 2) {
        const std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
}

bool base64Decode(const std::string& text, std::string& out) {
    out.clear();
    std::uint32_t acc = 0;
    int bits = 0;
    int quantum = 0;  // characters of the current 4-character group
    int padding = 0;
    for (unsigned char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            // Padding only ends a group of 2 or 3 characters.
            if (quantum < 2) return false;
            ++padding;
            if (++quantum == 4) quantum = 0;
            continue;
        }
        if (padding) return false;  // data after padding
        const int v = base64Value(c);
        if (v < 0) return false;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
        quantum = (quantum + 1) % 4;
    }
    // A lone trailing character cannot hold a byte; unpadded 2 or 3 are fine.
    return quantum != 1;
}

bool isValidUtf8(std::string_view s) {
    std::uint32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Sequence(s, i, cp);
        if (!n) return false;
        i += n;
    }
    return true;
}

bool survivesAsCharacterData(std::string_view s) {
    if (s.empty()) return true;
    bool segmentHasText = false;
    bool segmentOpen = false;
    std::uint32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Sequence(s, i, cp);
        if (!n) return false;
        if (cp < 0x20 || cp == 0xFFFE || cp == 0xFFFF) return false;
        if (needsEscape(static_cast<unsigned char>(s[i]))) {
            // An escaped character is a chunk of its own; the blanks before
            // it form one too and must not be blanks only.
            if (segmentOpen && !segmentHasText) return false;
            segmentOpen = false;
            segmentHasText = false;
        } else {
            segmentOpen = true;
            if (cp != ' ') segmentHasText = true;
        }
        i += n;
    }
    if (segmentOpen && !segmentHasText) return false;
    // A value made only of escaped characters is fine; one made only of
    // blanks was caught above.
    return true;
}

namespace {

// Bytes 0x20..0x7F that go out as they are, for character data and for
// attribute values; '&', '<', '>' and, in attributes, '"' do not.
// Bytes from 0x80 on are never plain here: the tables cover every byte, so
// that the scans need no range test.
struct PlainAscii {
    bool text[256];
    bool attribute[256];
    constexpr PlainAscii() : text(), attribute() {
        for (int c = 0x20; c < 0x80; ++c) {
            const bool escaped = c == '&' || c == '<' || c == '>';
            text[c] = !escaped;
            attribute[c] = !escaped && c != '"';
        }
    }
};
constexpr PlainAscii kPlain;

// Runs that need no escape go out in one append each: escaping character
// by character was most of the cost of a large answer.
void escapeAppend(std::string& out, std::string_view s, bool attribute) {
    const bool* plain = attribute ? kPlain.attribute : kPlain.text;
    std::uint32_t cp;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t run = i;
        for (;;) {
            if (i == s.size()) break;
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < 0x80) {
                if (!plain[c]) break;
                ++i;
                continue;
            }
            const std::size_t n = utf8Sequence(s, i, cp);
            if (!n || cp == 0xFFFE || cp == 0xFFFF) break;
            i += n;
        }
        if (i > run) out.append(s.data() + run, i - run);
        if (i == s.size()) break;
        const std::size_t n = utf8Sequence(s, i, cp);
        if (!n) {
            out += '?';
            ++i;
            continue;
        }
        switch (cp) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            case '\r': out += attribute ? "&#13;" : "\r"; break;
            default:
                // Other control characters, U+FFFE and U+FFFF.
                out += '?';
        }
        i += n;
    }
}

}  // namespace

void xmlAttributeAppend(std::string& out, std::string_view s) { escapeAppend(out, s, true); }

void xmlTextAppend(std::string& out, std::string_view s) { escapeAppend(out, s, false); }

bool isPlainText(std::string_view s) {
    // Called for every value of every block: eight bytes at a time, each
    // test true when some byte of the word is one it looks for.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    auto hasZero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        const std::uint64_t below20 = (w - kOnes * 0x20) & ~w & kHigh;  // exact once no byte is >= 0x80
        if ((w & kHigh) | below20 | hasZero(w ^ (kOnes * '&')) | hasZero(w ^ (kOnes * '<')) |
            hasZero(w ^ (kOnes * '>')))
            return false;
    }
    for (; i < s.size(); ++i)
        if (!kPlain.text[static_cast<unsigned char>(s[i])]) return false;
    return s.find_first_not_of(' ') != std::string_view::npos;
}

std::string_view realText(double value, char (&out)[32]) {
    if (!std::isfinite(value)) return {};
    if (value == 0) return "0.0";  // -0.0 too, as SQLite has it
    char* const last = out + sizeof out - 2;  // room for ".0"
    const char* shortest = std::to_chars(out, last, value, std::chars_format::scientific).ptr;
    int digits = 0;
    for (const char* p = out; p < shortest && *p != 'e'; ++p) digits += *p >= '0' && *p <= '9';
    if (digits > 15) return {};
    char* end = std::to_chars(out, last, value, std::chars_format::general, 15).ptr;
    char* mantissaEnd = static_cast<char*>(std::memchr(out, 'e', std::size_t(end - out)));
    if (!mantissaEnd) mantissaEnd = end;
    if (!std::memchr(out, '.', std::size_t(mantissaEnd - out))) {
        std::memmove(mantissaEnd + 2, mantissaEnd, std::size_t(end - mantissaEnd));
        mantissaEnd[0] = '.';
        mantissaEnd[1] = '0';
        end += 2;
    }
    return std::string_view(out, std::size_t(end - out));
}

}  // namespace vornd
