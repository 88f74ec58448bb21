#include "VorndProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace vorndtest {

namespace {

const char* const kBeside[] = {"", "-wal", "-shm", ".users", ".log"};

// Starts vornd with `args`; its standard output comes back in `out`.
pid_t spawnVornd(const std::vector<std::string>& args, int& out) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<std::string> all{VORND_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    out = pipeFds[0];
    return pid;
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

int runVornd(const std::vector<std::string>& args) {
    int out = -1;
    const pid_t pid = spawnVornd(args, out);
    if (pid < 0) return -1;
    char buf[4096];
    while (read(out, buf, sizeof buf) > 0) {
    }
    ::close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    return exitStatus(status);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TestServer::TestServer(const std::string& name, const std::string& users, std::vector<std::string> extra,
                       const std::string& initSql) {
    const char* tmp = std::getenv("TMPDIR");
    db_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vornd-test-" + std::to_string(getpid()) + "-" + name + ".db";
    for (const char* suffix : kBeside) ::unlink((db_ + suffix).c_str());
    if (runVornd({"--db", db_, "--init-sql", initSql, "--init-only"}) != 0) {
        error_ = "cannot create the database " + db_;
        return;
    }
    std::vector<std::string> args{"--db", db_, "--listen", "127.0.0.1:0", "--log", log()};
    if (!users.empty()) {
        std::ofstream(db_ + ".users") << users;
        args.insert(args.end(), {"--users", db_ + ".users"});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    int out = -1;
    pid_ = spawnVornd(args, out);
    if (pid_ < 0) {
        error_ = "cannot start vornd";
        return;
    }
    // The first line names the port; a vornd that cannot serve exits first.
    char line[256] = "";
    FILE* lines = fdopen(out, "r");
    if (!std::fgets(line, sizeof line, lines)) line[0] = '\0';
    std::fclose(lines);
    const char prefix[] = "vornd listening on 127.0.0.1:";
    if (std::strncmp(line, prefix, sizeof prefix - 1) == 0) port_ = std::uint16_t(std::atoi(line + sizeof prefix - 1));
    if (port_ == 0) {
        error_ = std::string("vornd did not start: '") + line + "'";
        stop();
    }
}

TestServer::~TestServer() {
    stop();
    for (const char* suffix : kBeside) ::unlink((db_ + suffix).c_str());
}

int TestServer::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0, polls = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_ && ++polls < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool exited = polls < 2000;
    if (!exited) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return exited ? exitStatus(status) : -1;
}

}  // namespace vorndtest
