// Counts of the stress tier: small by default (a few seconds a test), large
// with VORN_STRESS_LONG=1 (scripts/test.sh stress --long).
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/types.h>

namespace vornstress {

inline bool longRun() {
    const char* v = std::getenv("VORN_STRESS_LONG");
    return v && *v && std::strcmp(v, "0") != 0;
}

inline unsigned count(unsigned quick, unsigned full) { return longRun() ? full : quick; }

// Resident memory of a process in KiB, from /proc/PID/status (0 when unknown).
inline long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    return 0;
}

}  // namespace vornstress
