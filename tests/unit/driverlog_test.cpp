// The driver log: exact line layout, level rules, files and threads. The
// load-time configuration from VSQL_LOGLEVEL / VSQL_LOGFILE is read back by
// the Windows tests, which load the library afresh with the variables set.
#include "log/VfxLogger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string tempPath(const char* name) {
    return plat::tempDirectory() + "vorn_driverlog_" + std::to_string(getpid()) + "_" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A logger on a fresh file, without timestamps so that lines compare exactly.
struct FileLog {
    explicit FileLog(const char* name, int level = 5) : path(tempPath(name)) {
        log.timestamps = false;
        log.SetLevel(level);
        EXPECT_TRUE(log.Open(path.c_str(), "w"));
    }
    ~FileLog() {
        log.Close();
        std::remove(path.c_str());
    }
    std::string text() const { return readFile(path); }
    std::string path;
    VfxFileLogger log;
};

}  // namespace

TEST(DriverLog, LineLayoutByteForByte) {
    FileLog f("layout");
    f.log.Debug("SQLConnect", "Enter");
    f.log.Info("SQLExecDirect", "Statement %s", "SELECT 1");
    f.log.Warning("SQLGetInfo", 0, "Unknown info type %d", 77);
    f.log.Error("VSqlExecute", 12, "failed");
    f.log.Error("VSqlExecute", 0, "no number");
    f.log.Fatal("x", -3, "negative");
    f.log.Debug(nullptr, "null tag");
    f.log.Debug("t", "a\nb");
    f.log.Debug("t", "ends\n");
    f.log.Write(4, "info", 9, "info never shows a number");
    f.log.Write(5, "dbg", 9, "nor does debug");
    f.log.Debug(std::string(600, 'T').c_str(), "%s", std::string(10000, 'x').c_str());  // both cut
    EXPECT_EQ(f.text(),
              "[  DEBUG] SQLConnect: Enter\n"
              "[   INFO] SQLExecDirect: Statement SELECT 1\n"
              "[WARNING] SQLGetInfo: Unknown info type 77\n"
              "[  ERROR] VSqlExecute: #12 failed\n"
              "[  ERROR] VSqlExecute: no number\n"
              "[  FATAL] x: #-3 negative\n"
              "[  DEBUG] null tag\n"
              "[  DEBUG] t: a\nb"
              "[  DEBUG] t: ends\n"
              "[   INFO] info: info never shows a number\n"
              "[  DEBUG] dbg: nor does debug\n"
              "[  DEBUG] " + std::string(509, 'T') + ": " + std::string(8191, 'x') + "\n");
}

TEST(DriverLog, OpenRules) {
    std::string path = tempPath("open");
    std::remove(path.c_str());
    VfxFileLogger log;
    log.timestamps = false;
    EXPECT_FALSE(log.Open(path.c_str(), "w"));  // level 0 refuses
    EXPECT_FALSE(exists(path));
    log.SetLevel(5);
    ASSERT_TRUE(log.Open(path.c_str(), "w"));
    log.Debug("t", "first");
    ASSERT_TRUE(log.Open(path.c_str(), "w"));  // reopening truncates
    log.Debug("t", "second");
    EXPECT_EQ(readFile(path), "[  DEBUG] t: second\n");

    EXPECT_FALSE(log.Open("/nonexistent-dir/x.log", "w"));
    EXPECT_FALSE(log.IsOpen());
    log.Debug("t", "dropped without a stream");
    std::remove(path.c_str());

    // The driver's level stays within 1..5; anything else turns it off.
    const int saved = driverLog().GetLevel();
    SetLogLevel(7);
    EXPECT_EQ(driverLog().GetLevel(), 0);
    applyLogLevelText("  4xyz");
    EXPECT_EQ(driverLog().GetLevel(), 4);
    applyLogLevelText("99999999999999999999");
    EXPECT_EQ(driverLog().GetLevel(), 0);
    driverLog().SetLevel(saved);
}

TEST(DriverLog, ThreadsWriteWholeLines) {
    FileLog f("threads");
    const int kThreads = 4, kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string body(200, char('a' + t));
            for (int i = 0; i < kLines; ++i) f.log.Error("thread", t + 1, "%d %s", i, body.c_str());
        });
    }
    for (auto& th : threads) th.join();
    std::istringstream in(f.text());
    std::string line;
    int count = 0;
    std::vector<int> next(kThreads, 0);
    std::regex shape(R"(\[  ERROR\] thread: #([1-4]) (\d+) ([a-d]{200}))");
    while (std::getline(in, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line.substr(0, 80);
        int t = std::stoi(m[1]) - 1;
        EXPECT_EQ(m[3].str(), std::string(200, char('a' + t)));
        EXPECT_EQ(std::stoi(m[2]), next[t]++);  // each thread's lines in its own order
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}
