// The kit log, read back from the file byte for byte: the file's name and
// place, the line layout, the number field's verbosity rule and the block
// dump (the traffic trace itself is read back against vornd, tls_kit_it).
#include "support/fake_server.h"

#include "log/VCLogger.h"
#include "platform/platform.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using vorntest::FakeServer;

namespace {

// Every line of the kit log with its "[Www Mmm dd hh:mm:ss TID=nnnn
// SID=XXXXXXXX] " head checked and cut off.
std::vector<std::string> logBodies(const std::string& path) {
    static const std::regex head(R"(\[\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d TID=\d{4,} SID=[0-9A-F]{8}\] (.*))");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) out.push_back(std::regex_match(line, m, head) ? m.str(1) : "BAD HEAD: " + line);
    return out;
}

class KitLog : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseKitLog();
        char tmpl[] = "/tmp/kitlogXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old, hadTmp_ = true;
        setenv("TMPDIR", dir_.c_str(), 1);
        path_ = dir_ + "/VORNclient_" + std::to_string(getpid()) + ".log";
    }
    void TearDown() override {
        ReleaseKitLog();
        SetKitTraceFlags(0);
        hadTmp_ ? setenv("TMPDIR", oldTmp_.c_str(), 1) : unsetenv("TMPDIR");
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_, path_, oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace

// Request failures and invalid handles are reported as the verbosity asks;
// an old file of this process is truncated when the log is created.
TEST_F(KitLog, RequestReportsFollowTheVerbosity) {
    const std::string invalid = "HVDB pointer is invalid";
    struct Case {
        std::uint32_t flags;
        std::vector<std::string> lines;  // some of the lines written, none when empty
    };
    const Case cases[] = {
        {0x02000110, {"ERROR #-2", invalid}},
        {0x04000110, {"#-2 ERROR #-2", "#-2 Fatal error #-2", invalid}},
        {0x00000110, {}},  // verbosity 0: the file, empty
    };
    for (const Case& c : cases) {
        ReleaseKitLog();
        std::ofstream(path_) << "stale line\n";
        FakeServer srv;
        srv.expect('T', 110).reply(110, 1).expect('T', 104).reply(999, 1);
        srv.start();
        KitStartupParams params = vorntest::ParamsFor(srv, nullptr, 5, c.flags);
        HVDB h = nullptr;
        ASSERT_EQ(VdbStartVorn(&h, &params, "u", "p", 0, 0), 1);
        char buf[8];
        EXPECT_EQ(VdbMessage(h, 9, buf, sizeof buf), -2);  // breaks the session
        EXPECT_EQ(VdbMessage(h, 9, buf, sizeof buf), -2);  // refused before sending
        EXPECT_EQ(VdbEndVorn(h, 0), 1);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
        EXPECT_EQ(VdbEndVorn(h, 0), 0);
        ReleaseKitLog();

        ASSERT_TRUE(std::ifstream(path_).good()) << c.flags;
        std::vector<std::string> lines = logBodies(path_);
        EXPECT_EQ(lines.empty(), c.lines.empty()) << ::testing::PrintToString(lines);
        for (const std::string& want : c.lines)
            EXPECT_NE(std::count(lines.begin(), lines.end(), want), 0) << ::testing::PrintToString(lines);
        for (const auto& l : lines) EXPECT_EQ(l.find("BAD HEAD"), std::string::npos) << l;
    }
}

TEST_F(KitLog, LoggerLevelsLockAndBlockDump) {
    IVCLogger* log = AcquireKitLog(0x03000000);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(AcquireKitLog(0x05000000), log);  // reconfigured, not replaced
    EXPECT_EQ(log->GetLevel(), 0x05000000u);
    log->SetLevel(0x03000000);
    log->Fatal("T", 0x1234ABCD, 7, "f%d", 1);
    log->Error("", 1, 0, "e");
    log->Warning("W", 1, 8, "w");
    log->Info("I", 1, "i");    // below the verbosity
    log->Debug("D", 1, "d");
    std::string longTag(600, 't');
    log->Error(longTag.c_str(), 2, 0, "%s", std::string(9000, 'x').c_str());
    EXPECT_EQ(AcquireKitLog(0), nullptr);  // flags 0 remove the logger

    // Verbosity 3: no number field.
    EXPECT_EQ(logBodies(path_), (std::vector<std::string>{"T: f1", "e", "W: w",
                                                          std::string(509, 't') + ": " + std::string(8191, 'x')}));
    std::ifstream in(path_);
    std::string first;
    std::getline(in, first);
    EXPECT_NE(first.find(" SID=1234ABCD] "), std::string::npos);

    // The process-wide lock: re-entrant for its owner, refused to others
    // once the time limit passes.
    ASSERT_TRUE(TraceLock(2));
    bool other = true;
    std::thread t([&] { other = TraceLock(0); });
    t.join();
    EXPECT_FALSE(other);
    TraceUnlock();

    // The dump's layout is read back from vornd's traffic (tls_kit_it); a
    // block larger than any line is cut, and a longer length widens its
    // field.
    std::vector<unsigned char> big(70000, 0x01);
    const std::string dump = FormatBlockDump(false, big.data(), big.size());
    EXPECT_TRUE(dump.size() > 32000u && dump.size() <= 32762u + 3u) << dump.size();
    EXPECT_EQ(dump.substr(0, 14), "OUT Len=70000 ");
}
