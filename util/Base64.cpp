#include "util/Base64.h"

#include "platform/platform.h"

#include <cstdint>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Reverse alphabet: 0..63 for alphabet characters, -1 for everything else.
struct ReverseTable {
    signed char value[256];
    ReverseTable() {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
const ReverseTable kReverse;
}  // namespace

int Base64Encode(const void* bytes, int count, char** out) {
    *out = nullptr;
    if (count < 0 || (count > 0 && !bytes)) return -1;
    std::size_t groups = (std::size_t(count) + 2) / 3;
    char* text = static_cast<char*>(plat::heapAlloc(groups * 4 + 2));
    if (!text) return -1;
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    char* o = text;
    int i = 0;
    for (; i + 3 <= count; i += 3) {
        *o++ = kAlphabet[b[i] >> 2];
        *o++ = kAlphabet[((b[i] & 3) << 4) | (b[i + 1] >> 4)];
        *o++ = kAlphabet[((b[i + 1] & 15) << 2) | (b[i + 2] >> 6)];
        *o++ = kAlphabet[b[i + 2] & 63];
    }
    if (count - i == 1) {
        *o++ = kAlphabet[b[i] >> 2];
        *o++ = kAlphabet[(b[i] & 3) << 4];
        *o++ = '=';
        *o++ = '=';
    } else if (count - i == 2) {
        *o++ = kAlphabet[b[i] >> 2];
        *o++ = kAlphabet[((b[i] & 3) << 4) | (b[i + 1] >> 4)];
        *o++ = kAlphabet[(b[i + 1] & 15) << 2];
        *o++ = '=';
    }
    *o = '\0';
    *out = text;
    return static_cast<int>(o - text);
}

int Base64Decode(const char* text, int length, unsigned char** out) {
    *out = nullptr;
    if (!text || length < 0) length = 0;
    // Collect the sextets; anything outside the alphabet is skipped.
    unsigned char* values = static_cast<unsigned char*>(plat::heapAlloc(std::size_t(length) + 1));
    if (!values) return -1;
    int n = 0;
    for (int i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\0' || c == '=') break;
        signed char v = kReverse.value[c];
        if (v >= 0) values[n++] = static_cast<unsigned char>(v);
    }
    unsigned char* bytes = static_cast<unsigned char*>(plat::heapAlloc((std::size_t(n) / 4 + 1) * 3));
    if (!bytes) {
        plat::heapFree(values);
        return -1;
    }
    unsigned char* o = bytes;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        unsigned s0 = values[i], s1 = values[i + 1], s2 = values[i + 2], s3 = values[i + 3];
        *o++ = static_cast<unsigned char>((s0 << 2) | (s1 >> 4));
        *o++ = static_cast<unsigned char>(((s1 << 4) | (s2 >> 2)) & 255);
        *o++ = static_cast<unsigned char>(((s2 << 6) | s3) & 255);
    }
    int rest = n - i;
    if (rest >= 2) {
        unsigned s0 = values[i], s1 = values[i + 1];
        *o++ = static_cast<unsigned char>((s0 << 2) | (s1 >> 4));
        if (rest == 3) {
            unsigned s2 = values[i + 2];
            *o++ = static_cast<unsigned char>(((s1 << 4) | (s2 >> 2)) & 255);
        }
    }
    plat::heapFree(values);
    *out = bytes;
    return static_cast<int>(o - bytes);
}
