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

const std::string kKey = "[SOFTWARE\\Kalmoventis\\VORNclient]\n";
const std::string kFallbackKey = "[SOFTWARE\\Kalmoventis\\VORN@client]\n";

}  // namespace

// Each request loads the listed libraries in order until one has the
// routine, under its plain or its decorated name, and unloads it after the
// call; the statuses tell no list (2), a library that failed to load last (4)
// and no routine anywhere (6).
TEST(KitFilter, ListsOrderUnloadingAndStatuses) {
    char dir[] = "/tmp/kitfilterXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string registry = std::string(dir) + "/registry.ini", traceFile = std::string(dir) + "/trace.txt";
    setenv("VORN_REGISTRY_FILE", registry.c_str(), 1);
    setenv("KIT_FILTER_TRACE", traceFile.c_str(), 1);
    vorntest::FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expect('T', 111).reply(111, 1).start();
    KitStartupParams p = vorntest::ParamsFor(srv);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &p, "u", "p", 0, 0), 1);
    const auto trace = [&] {
        std::ifstream in(traceFile);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        std::remove(traceFile.c_str());
        return out;
    };
    const auto loaded = [](const char* path) {
        void* lib = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (lib) dlclose(lib);
        return lib != nullptr;
    };
    using Trace = std::vector<std::string>;
    struct Case {
        std::string registry;  // empty: no registry file
        const char* command;
        std::int32_t rc;
        const char* message;
        Trace trace;
    };
    const std::string notFound = "Filter routine not found.";
    const Case cases[] = {
        {"", "execsql", 2, "No filter libraries configured (registry value USRSHR).", {}},
        {kKey + "USRSHR=" KIT_FILTER_A ";" KIT_FILTER_B "\n", "sqlgetobject", 1, "served by B",
         {"load A", "unload A", "load B", "call B sqlgetobject handle", "unload B"}},
        {kKey + "USRSHR=" KIT_FILTER_A ";" KIT_FILTER_B "\n", "execsql", 1, "served by A",
         {"load A", "call A execsql handle", "unload A"}},
        {kKey + "USRSHR=" KIT_FILTER_A ";/nonexistent/libnofilter.so\n", "sqlgetobject", 4, notFound.c_str(),
         {"load A", "unload A"}},
        {kKey + "USRSHR=" KIT_FILTER_B "\n", "execsql", 6, notFound.c_str(), {"load B", "unload B"}},
        {kKey + "USRSHR=\n", "execsql", 6, notFound.c_str(), {}},
        // The first key without the value: the second key's list serves.
        {kKey + "OTHER=1\n" + kFallbackKey + "usrshr=" KIT_FILTER_A "\n", "execsql", 1, "served by A",
         {"load A", "call A execsql handle", "unload A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registry + c.command);
        std::remove(registry.c_str());
        if (!c.registry.empty()) std::ofstream(registry) << c.registry;
        XmlRequest q;
        std::memset(&q, 0, sizeof q);
        std::strcpy(q.command, c.command);
        q.flags = VDB_EXPORT_LOCAL;
        std::memset(q.message, 'x', sizeof q.message - 1);
        EXPECT_EQ(VdbExport(h, &q), c.rc);
        EXPECT_EQ(q.status, c.rc == 1 || c.rc == 2 ? 0u : std::uint32_t(c.rc));
        EXPECT_STREQ(q.message, c.message);
        EXPECT_EQ(trace(), c.trace);
        if (c.rc == 1) {
            EXPECT_EQ(q.block, 5u);
        }
    }
    EXPECT_FALSE(loaded(KIT_FILTER_A));
    EXPECT_FALSE(loaded(KIT_FILTER_B));
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    // Nothing went to the server but the start and the end.
    EXPECT_EQ(srv.received().size(), 2u);
    unsetenv("VORN_REGISTRY_FILE");
    unsetenv("KIT_FILTER_TRACE");
    std::remove(registry.c_str());
    rmdir(dir);
}

#endif
