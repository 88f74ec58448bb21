// Local filter routines through the Export wrapper: the registry list (with
// its fallback key), loading order, unloading after each request, the
// decorated-name fallback and the failure statuses.
#include "support/fake_server.h"

#include "log/VCLogger.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#if defined(KIT_FILTER_A) && defined(KIT_FILTER_B)

namespace {

class KitFilter : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kitfilterXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        registry_ = dir_ + "/registry.ini";
        trace_ = dir_ + "/trace.txt";
        setenv("VORN_REGISTRY_FILE", registry_.c_str(), 1);
        setenv("KIT_FILTER_TRACE", trace_.c_str(), 1);
        srv_.expect('T', 110).reply(110, 1).expect('T', 111).reply(111, 1).start();
        KitStartupParams p = vorntest::ParamsFor(srv_);
        ASSERT_EQ(VdbStartVorn(&h_, &p, "u", "p", 0, 0), 1);
    }
    void TearDown() override {
        EXPECT_EQ(VdbEndVorn(h_, 0), 1);
        EXPECT_EQ(srv_.finish(), std::vector<std::string>{});
        unsetenv("VORN_REGISTRY_FILE");
        unsetenv("KIT_FILTER_TRACE");
        std::remove(registry_.c_str());
        std::remove(trace_.c_str());
        rmdir(dir_.c_str());
    }
    void writeRegistry(const std::string& text) { std::ofstream(registry_) << text; }
    std::int32_t run(const char* command, XmlRequest& q) {
        std::memset(&q, 0, sizeof q);
        std::strcpy(q.command, command);
        q.flags = VDB_EXPORT_LOCAL;
        std::memset(q.message, 'x', sizeof q.message - 1);
        return VdbExport(h_, &q);
    }
    std::vector<std::string> trace() {
        std::ifstream in(trace_);
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line)) out.push_back(line);
        std::remove(trace_.c_str());
        return out;
    }
    static bool loaded(const char* path) {
        void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

    vorntest::FakeServer srv_;
    HVDB h_ = nullptr;
    std::string dir_, registry_, trace_;
};

const std::string kKey = "[SOFTWARE\\Kalmoventis\\VORNclient]\n";
const std::string kFallbackKey = "[SOFTWARE\\Kalmoventis\\VORN@client]\n";

}  // namespace

TEST_F(KitFilter, LoadsInOrderFallsBackToTheDecoratedNameAndUnloads) {
    writeRegistry(kKey + "USRSHR=" KIT_FILTER_A ";" KIT_FILTER_B "\n");
    XmlRequest q;
    EXPECT_EQ(run("sqlgetobject", q), 1);
    EXPECT_STREQ(q.message, "served by B");
    EXPECT_EQ(q.block, 5u);
    EXPECT_EQ(trace(), (std::vector<std::string>{"load A", "unload A", "load B", "call B sqlgetobject handle",
                                                 "unload B"}));
    // Two requests load the library twice; none stays between them.
    EXPECT_EQ(run("execsql", q), 1);
    EXPECT_EQ(run("execsql", q), 1);
    EXPECT_EQ(trace(), (std::vector<std::string>{"load A", "call A execsql handle", "unload A", "load A",
                                                 "call A execsql handle", "unload A"}));
    EXPECT_FALSE(loaded(KIT_FILTER_A));
    EXPECT_FALSE(loaded(KIT_FILTER_B));
    // Nothing went to the server.
    EXPECT_EQ(srv_.received().size(), 1u);
}

TEST_F(KitFilter, FailureStatuses) {
    XmlRequest q;
    // No registry at all: 2, nothing loaded.
    EXPECT_EQ(run("execsql", q), 2);
    EXPECT_EQ(q.status, 0u);
    EXPECT_EQ(trace(), std::vector<std::string>{});

    // The last library fails to load after one that lacked the routine: 4.
    writeRegistry(kKey + "USRSHR=" KIT_FILTER_A ";/nonexistent/libnofilter.so\n");
    EXPECT_EQ(run("sqlgetobject", q), 4);
    EXPECT_EQ(q.status, 4u);
    EXPECT_STREQ(q.message, "Filter routine not found.");
    EXPECT_EQ(trace(), (std::vector<std::string>{"load A", "unload A"}));

    // No library has it: 6; an empty list counts the same.
    writeRegistry(kKey + "USRSHR=" KIT_FILTER_B "\n");
    EXPECT_EQ(run("execsql", q), 6);
    EXPECT_EQ(q.status, 6u);
    EXPECT_STREQ(q.message, "Filter routine not found.");
    writeRegistry(kKey + "USRSHR=\n");
    EXPECT_EQ(run("execsql", q), 6);

    // The first key without the value: the second key's list serves.
    writeRegistry(kKey + "OTHER=1\n" + kFallbackKey + "usrshr=" KIT_FILTER_A "\n");
    EXPECT_EQ(run("execsql", q), 1);
    EXPECT_STREQ(q.message, "served by A");
}

#endif
