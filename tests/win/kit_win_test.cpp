// The kit's C API in the Windows build (WinSock) against the scripted fake
// server, which runs as a Linux program beside Wine: tests/win/kit_win_run.sh
// starts it and passes its port in VORN_KIT_FAKE_PORT. Without that
// variable the test is skipped.
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

TEST(KitWin, StartExportEnd) {
    const char* port = std::getenv("VORN_KIT_FAKE_PORT");
    if (!port || !*port) GTEST_SKIP() << "VORN_KIT_FAKE_PORT is not set (run through tests/win/kit_win_run.sh)";

    HERRSTACK errors = VdbErrStackCreate("Kit", "", "", "");
    KitStartupParams params;
    std::memset(&params, 0, sizeof params);
    params.errorStack = errors;
    std::strcpy(params.commsModule, "wsa11.dll");
    std::strcpy(params.host, "127.0.0.1");
    std::strncpy(params.service, port, sizeof params.service - 1);
    params.receiveTimeout = 30;
    params.sendTimeout = 30;

    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "wine", "secret", 1, 0), 1);
    ASSERT_NE(h, nullptr);

    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    std::strcpy(q.command, "execsql");
    char text[] = "SELECT 1";
    q.text = text;
    q.textLength = static_cast<int32_t>(std::strlen(text));
    q.rows = 10;
    q.block = 1;
    EXPECT_EQ(VdbExport(h, &q), 1);
    EXPECT_EQ(q.head1, 21u);
    ASSERT_GT(q.documentLength, 0);
    EXPECT_EQ(std::string(q.document, q.documentLength), "<result rows=\"1\"/>");
    EXPECT_STREQ(q.text, "note");
    EXPECT_STREQ(q.message, "done");
    HeapFree(GetProcessHeap(), 0, q.document);
    HeapFree(GetProcessHeap(), 0, q.text);

    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    char all[1024];
    EXPECT_EQ(VdbErrStackGetAll(errors, all, sizeof all), 0) << all;
    VdbErrStackDestroy(errors);
}
