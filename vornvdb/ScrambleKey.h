// The scramble applied to user names and passwords on the wire. Client and
// server must agree on the key, so both include this one header.
//
// The scramble is a light disguise, not encryption: byte 0 carries the text
// length, bytes 1..32 the first 32 characters, each XORed with the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vornwire {

constexpr std::size_t kScrambleLength = 33;
constexpr char kScrambleKey[kScrambleLength + 1] = "qZmTkWbRfXpLyHdJvNcGsEuAoIrKtBwQe";
static_assert(sizeof(kScrambleKey) == kScrambleLength + 1, "the key has 33 letters");

// Writes the 33 scrambled bytes of `text` (null counts as "").
inline void ScrambleBytes(const char* text, unsigned char out[kScrambleLength]) {
    std::size_t len = text ? std::strlen(text) : 0;
    auto n = static_cast<unsigned char>(len);
    out[0] = static_cast<unsigned char>(n ^ static_cast<unsigned char>(kScrambleKey[0]));
    for (std::size_t i = 1; i < kScrambleLength; ++i) {
        unsigned char c = i <= n ? static_cast<unsigned char>(text[i - 1]) : n;
        out[i] = static_cast<unsigned char>(c ^ static_cast<unsigned char>(kScrambleKey[i]));
    }
}

// The text back from its scrambled bytes: at most 32 characters survive.
// Fewer than 33 bytes give what they can.
inline std::string UnscrambleBytes(const unsigned char* in, std::size_t count) {
    if (!in || count == 0) return std::string();
    std::size_t n = static_cast<unsigned char>(in[0] ^ static_cast<unsigned char>(kScrambleKey[0]));
    if (n > kScrambleLength - 1) n = kScrambleLength - 1;
    if (n > count - 1) n = count - 1;
    std::string text(n, '\0');
    for (std::size_t i = 1; i <= n; ++i)
        text[i - 1] = static_cast<char>(in[i] ^ static_cast<unsigned char>(kScrambleKey[i]));
    return text;
}

}  // namespace vornwire
