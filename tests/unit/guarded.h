// A buffer between guard bytes, for the outputs whose width is the fault to
// catch: what a call writes must fit its slot exactly.
#pragma once

#include <cstring>

namespace vorntest {

struct Guarded {
    static constexpr unsigned char kFill = 0xA5;
    unsigned char bytes[64];
    Guarded() { std::memset(bytes, kFill, sizeof bytes); }
    void* at() { return bytes + 16; }
    // Bytes from the slot's start up to the last one changed; -1 when a byte
    // before the slot changed.
    int written() const {
        for (int i = 0; i < 16; ++i)
            if (bytes[i] != kFill) return -1;
        int last = 0;
        for (int i = 16; i < int(sizeof bytes); ++i)
            if (bytes[i] != kFill) last = i - 15;
        return last;
    }
};

}  // namespace vorntest
