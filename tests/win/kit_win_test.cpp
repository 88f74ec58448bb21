// The kit's C API in the Windows build (Winsock) against vornd on the Linux
// side: an Export whose answer blocks the kit allocates on the process heap,
// as its callers free them.
#include "win/dll.h"

#include "vornvdb/vornkit.h"

#include <cstring>

TEST(KitWin, StartExportEnd) {
    if (vornwin::vorndPort().empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
    HERRSTACK errors = VdbErrStackCreate("Kit", "", "", "");
    KitStartupParams params;
    std::memset(&params, 0, sizeof params);
    params.errorStack = errors;
    std::strcpy(params.commsModule, "wsa11.dll");
    std::strcpy(params.host, "127.0.0.1");
    std::strncpy(params.service, vornwin::vorndPort().c_str(), sizeof params.service - 1);
    params.receiveTimeout = params.sendTimeout = 30;
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "wine", "secret", 1, 0), 1);

    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    std::strcpy(q.command, "execsql");
    char text[] = "SELECT NAME FROM AUTHORS WHERE ID = 2";
    q.text = text;
    q.textLength = static_cast<int32_t>(std::strlen(text));
    q.rows = 10;
    q.block = 1;
    EXPECT_EQ(VdbExport(h, &q) & 1, 1) << q.message;
    ASSERT_GT(q.documentLength, 0);
    EXPECT_NE(std::string(q.document, q.documentLength).find("Jules Verne"), std::string::npos);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, q.document));
    if (q.text != text) {
        EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, q.text));
    }
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    char all[1024];
    EXPECT_EQ(VdbErrStackGetAll(errors, all, sizeof all), 0) << all;
    VdbErrStackDestroy(errors);
}
