// The server's log: one line per event, time-stamped, shared by all
// session threads. Without a file nothing is written.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace vornd {

class Log {
public:
    Log() = default;
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // "-" means standard error. False when the file cannot be opened.
    bool open(const std::string& path);
    void setVerbose(bool on) { verbose_ = on; }
    bool verbose() const { return verbose_; }

    // session 0 is the server itself.
    void write(unsigned long session, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool verbose_ = false;
};

}  // namespace vornd
