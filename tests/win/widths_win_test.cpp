// On Win64 long is 32 bits while SQLLEN, SQLULEN and pointers are 64: every
// answer written through the DLL's exports must take its own width, whole,
// and not a byte past it.
#include "win/dll.h"

#include <cstring>
#include <functional>

namespace {

using WinWidths = vornwin::Handles;

std::string hex(const void* at, int n) {
    auto* p = static_cast<const unsigned char*>(at);
    std::string s;
    char b[3];
    for (int i = 0; i < n; ++i) s += (std::snprintf(b, sizeof b, "%02x", p[i]), b);
    return s;
}

TEST_F(WinWidths, AnswersTakeTheirWidthWholeAndNoMore) {
    static_assert(sizeof(SQLLEN) == 8 && sizeof(long) == 4, "a Win64 build");
    auto getStmt = VORN_DLL_FN(SQLGetStmtAttr);
    auto getDesc = VORN_DLL_FN(SQLGetDescField);
    auto getInfo = VORN_DLL_FN(SQLGetInfo);
    auto setDesc = VORN_DLL_FN(SQLSetDescField);
    const SQLULEN big = (SQLULEN(1) << 32) + 3;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLSetStmtAttr)(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)big, 0));
    SQLHDESC desc = nullptr;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLAllocHandle)(SQL_HANDLE_DESC, dbc, &desc));
    char data[8];
    SQLLEN ind = 0, strLen = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLSetDescRec)(desc, 1, SQL_CHAR, 0, SQLLEN(big), 0, 0, data, &strLen, &ind));
    ASSERT_EQ(SQL_SUCCESS, setDesc(desc, 1, SQL_DESC_LENGTH, (SQLPOINTER)big, 0));
    ASSERT_EQ(SQL_SUCCESS, setDesc(desc, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)big, 0));
    ASSERT_EQ(SQL_SUCCESS, setDesc(desc, 0, SQL_DESC_BIND_TYPE, (SQLPOINTER)SQLULEN(0x80000001u), 0));

    SQLINTEGER attrLength = 0;
    SQLSMALLINT infoLength = 0;
    const std::string bigHex = "0300000001000000";
    const void* dataPtr = data;
    const struct {
        const char* what;
        std::function<SQLRETURN(void*)> get;
        std::string bytes;  // written, in hex
    } cases[] = {
        {"ROW_ARRAY_SIZE", [&](void* p) { return getStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, p, 0, &attrLength); }, bigHex},
        {"AUTOCOMMIT", [&](void* p) { return VORN_DLL_FN(SQLGetConnectAttr)(dbc, SQL_ATTR_AUTOCOMMIT, p, 0, nullptr); },
         "01000000"},
        {"MAX_COLUMN_NAME_LEN", [&](void* p) { return getInfo(dbc, SQL_MAX_COLUMN_NAME_LEN, p, 0, &infoLength); },
         "ff00"},
        {"SCROLL_OPTIONS", [&](void* p) { return getInfo(dbc, SQL_SCROLL_OPTIONS, p, 0, &infoLength); }, "11000000"},
        {"OCTET_LENGTH", [&](void* p) { return getDesc(desc, 1, SQL_DESC_OCTET_LENGTH, p, 0, nullptr); }, bigHex},
        {"LENGTH", [&](void* p) { return getDesc(desc, 1, SQL_DESC_LENGTH, p, 0, nullptr); }, bigHex},
        {"ARRAY_SIZE", [&](void* p) { return getDesc(desc, 0, SQL_DESC_ARRAY_SIZE, p, 0, nullptr); }, bigHex},
        {"DATA_PTR", [&](void* p) { return getDesc(desc, 1, SQL_DESC_DATA_PTR, p, 0, nullptr); },
         hex(&dataPtr, 8)},
        {"COUNT", [&](void* p) { return getDesc(desc, 0, SQL_DESC_COUNT, p, 0, nullptr); }, "0100"},
        {"BIND_TYPE", [&](void* p) { return getDesc(desc, 0, SQL_DESC_BIND_TYPE, p, 0, nullptr); }, "01000080"},
    };
    for (const auto& c : cases) {
        unsigned char slot[24];
        std::memset(slot, 0xA5, sizeof slot);
        EXPECT_EQ(SQL_SUCCESS, c.get(slot + 8)) << c.what;
        EXPECT_EQ("a5a5a5a5a5a5a5a5", hex(slot, 8)) << c.what;
        EXPECT_EQ(c.bytes + "a5", hex(slot + 8, int(c.bytes.size() / 2) + 1)) << c.what;
    }
    EXPECT_EQ(8, attrLength);
    EXPECT_EQ(4, infoLength);
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeHandle)(SQL_HANDLE_DESC, desc));
}

}  // namespace
