// vornd as a child process for the tests, the stress programs and the
// paging benchmark: a fresh database, a port of the server's choosing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorndtest {

// Runs vornd once with the given arguments (no server); its exit status.
int runVornd(const std::vector<std::string>& args);

// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string& path);

// vornd on 127.0.0.1 serving a fresh database made by `initSql`, logging to
// log(), with a users file when `users` is not empty. The database and every
// file beside it are removed again on destruction.
class TestServer {
public:
    TestServer(const std::string& name, const std::string& users = "", std::vector<std::string> extra = {},
               const std::string& initSql = VORND_SAMPLE_SQL);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& db() const { return db_; }
    std::string log() const { return db_ + ".log"; }
    std::uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    // SIGTERM and wait; the exit status (-1 when it had to be killed).
    int stop();

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string db_, error_;
};

}  // namespace vorndtest
