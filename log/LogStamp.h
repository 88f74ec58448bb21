// The time stamp both logs put before a line.
#pragma once

#include <cstdio>

#include "platform/platform.h"

namespace vornlog {

// "Www Mmm dd hh:mm:ss " for the local time now: ctime's layout, its first
// 19 characters and a space, without ctime's shared static buffer, which
// other threads may use. Empty when the system cannot tell the time.
inline void localStamp(char (&out)[24]) {
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    out[0] = '\0';
    std::tm t{};
    if (plat::localNow(t) && t.tm_wday >= 0 && t.tm_wday < 7 && t.tm_mon >= 0 && t.tm_mon < 12)
        std::snprintf(out, sizeof out, "%.3s %.3s %2d %02d:%02d:%02d ", days + 3 * t.tm_wday, months + 3 * t.tm_mon,
                      t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

}  // namespace vornlog
