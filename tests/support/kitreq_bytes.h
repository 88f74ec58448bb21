// Wire bytes for the request family's tests, written apart from the kit's
// packet code so that expectations do not come from the code under test:
// integers little-endian, short items with a u16 length, long items with a
// u32 length, frames with a u32 total length in front.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "vornvdb/ScrambleKey.h"

namespace kitreq {

using Bytes = std::vector<unsigned char>;

class Block {
public:
    Block& u8(std::uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    Block& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Block& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Block& s(const std::string& text) {
        u16(static_cast<std::uint16_t>(text.size()));
        return raw(Bytes(text.begin(), text.end()));
    }
    Block& l(const std::string& text) {
        u32(static_cast<std::uint32_t>(text.size()));
        return raw(Bytes(text.begin(), text.end()));
    }
    Block& raw(const Bytes& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }
    // The block as one frame on the socket.
    Bytes frame() const { return Block().u32(static_cast<std::uint32_t>(bytes_.size() + 4)).raw(bytes_).bytes(); }

private:
    Bytes bytes_;
};

// A request block: kind 'T' and the request number; arguments follow.
inline Block Request(std::uint16_t number) { return Block().u8('T').u16(number); }

// An answer block: kind, number, status, message; results follow.
inline Block Answer(std::uint16_t number, std::uint32_t status, const std::string& message = "",
                    std::uint8_t kind = 'T') {
    return Block().u8(kind).u16(number).u32(status).s(message);
}

// The 33 scrambled bytes of a text as a short item: length byte, then the
// characters (or the length again past the text), each XORed with the key.
inline Bytes ScrambledItem(const std::string& text) {
    const char* key = vornwire::kScrambleKey;
    auto n = static_cast<unsigned char>(text.size());
    Block b;
    b.u16(33).u8(static_cast<std::uint8_t>(n ^ key[0]));
    for (unsigned i = 1; i <= 32; ++i) {
        unsigned char c = i <= n ? static_cast<unsigned char>(text[i - 1]) : n;
        b.u8(static_cast<std::uint8_t>(c ^ static_cast<unsigned char>(key[i])));
    }
    return b.bytes();
}

inline std::string Hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x ", b);
        out += buf;
    }
    return out;
}

inline std::string FieldText(const char* s) { return s; }
inline std::string FieldText(const std::string& s) { return s; }
template <typename T, typename = std::enable_if_t<std::is_arithmetic<T>::value>>
std::string FieldText(T v) {
    return std::to_string(+v);
}

// A call's outputs joined by '|', integers as numbers: one comparison for all.
// Written with braces, the fields are taken in order, so a call may come first.
struct Fields : std::string {
    template <typename... T>
    Fields(const T&... v) {
        ((*this += FieldText(v) + "|"), ...);
    }
    friend void PrintTo(const Fields& f, std::ostream* os) { *os << '"' << static_cast<const std::string&>(f) << '"'; }
};

// Blocks as hex texts, for comparisons that show what differs.
inline std::vector<std::string> HexBlocks(const std::vector<Bytes>& blocks) {
    std::vector<std::string> out;
    for (const Bytes& b : blocks) out.push_back(Hex(b));
    return out;
}

}  // namespace kitreq
