// Descriptors and binding through vornodbc64.dll's exports, as a driver
// manager calls them. On Win64 SQLLEN and SQLULEN are 64-bit while long is
// 32-bit: every length must reach the application at its full width.
#include "win/dll.h"

#include "driver/entry/handles.h"  // record layouts: a handle is the address of its record

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {


// A statement and an explicit descriptor on an unconnected connection.
struct WinDesc : ::testing::Test {
    void SetUp() override {
        auto alloc = VORN_DLL_FN(SQLAllocHandle);
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DESC, dbc, &desc));
    }
    void TearDown() override {
        auto release = VORN_DLL_FN(SQLFreeHandle);
        EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DESC, desc));
        EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_STMT, stmt));
        EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
        EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
    }
    template <typename T>
    T get(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT id) {
        T v{};
        EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetDescField)(h, rec, id, &v, 0, nullptr)) << id;
        return v;
    }
    SQLRETURN set(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER v, SQLINTEGER len = 0) {
        return VORN_DLL_FN(SQLSetDescField)(h, rec, id, v, len);
    }
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr, desc = nullptr;
};

// Bytes written into a slot between guard bytes; -1 when a byte in front
// of the slot changed.
struct Guarded {
    unsigned char bytes[48];
    Guarded() { std::memset(bytes, 0xA5, sizeof bytes); }
    void* at() { return bytes + 16; }
    int written() const {
        for (int i = 0; i < 16; ++i)
            if (bytes[i] != 0xA5) return -1;
        int last = 0;
        for (int i = 16; i < int(sizeof bytes); ++i)
            if (bytes[i] != 0xA5) last = i - 15;
        return last;
    }
};

}  // namespace

TEST_F(WinDesc, LengthsCrossAtTheirFullWidth) {
    static_assert(sizeof(SQLLEN) == 8 && sizeof(long) == 4, "a Win64 build");
    const SQLLEN big = SQLLEN(0x7F) << 48;
    char data[8];
    SQLLEN ind = 0, strLen = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLSetDescRec)(desc, 1, SQL_CHAR, 0, big, 0, 0, data,
                                                                         &strLen, &ind));
    ASSERT_EQ(SQL_SUCCESS, set(desc, 1, SQL_DESC_LENGTH, reinterpret_cast<SQLPOINTER>(big)));
    ASSERT_EQ(SQL_SUCCESS, set(desc, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(big)));

    struct Width {
        SQLSMALLINT rec, id;
        int bytes;
    };
    const Width widths[] = {
        {1, SQL_DESC_OCTET_LENGTH, 8}, {1, SQL_DESC_LENGTH, 8}, {0, SQL_DESC_ARRAY_SIZE, 8},
        {1, SQL_DESC_DATA_PTR, 8},     {0, SQL_DESC_COUNT, 2},  {0, SQL_DESC_BIND_TYPE, 4},
    };
    ASSERT_EQ(SQL_SUCCESS, set(desc, 0, SQL_DESC_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(0x80000001u))));
    for (const Width& w : widths) {
        Guarded g;
        EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetDescField)(desc, w.rec, w.id, g.at(), 0, nullptr));
        EXPECT_EQ(w.bytes, g.written()) << w.id;
    }
    EXPECT_EQ(big, get<SQLLEN>(desc, 1, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(SQLULEN(big), get<SQLULEN>(desc, 1, SQL_DESC_LENGTH));
}

TEST_F(WinDesc, BoundColumnsWithAStrideThroughTheRowDescriptor) {
    struct RowBuf {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[10];
        SQLLEN nameInd;
    } rows[2];
    auto bindCol = VORN_DLL_FN(SQLBindCol);
    ASSERT_EQ(SQL_SUCCESS, bindCol(stmt, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd));
    ASSERT_EQ(SQL_SUCCESS, bindCol(stmt, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd));

    SQLHDESC ard = static_cast<Statement*>(stmt)->ard;
    ASSERT_EQ(SQL_SUCCESS, set(ard, 0, SQL_DESC_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(RowBuf))));
    ASSERT_EQ(SQL_SUCCESS, set(ard, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2)));
    EXPECT_EQ(static_cast<SQLPOINTER>(rows[0].name), get<SQLPOINTER>(ard, 2, SQL_DESC_DATA_PTR));
    EXPECT_EQ(static_cast<SQLPOINTER>(&rows[0].nameInd), get<SQLPOINTER>(ard, 2, SQL_DESC_INDICATOR_PTR));

    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLCopyDesc)(ard, desc));
    EXPECT_EQ(2, get<SQLSMALLINT>(desc, 0, SQL_DESC_COUNT));
    EXPECT_EQ(SQLUINTEGER(sizeof(RowBuf)), get<SQLUINTEGER>(desc, 0, SQL_DESC_BIND_TYPE));
    EXPECT_EQ(SQLULEN(2), get<SQLULEN>(desc, 0, SQL_DESC_ARRAY_SIZE));
    EXPECT_EQ(SQLLEN(sizeof rows[0].name), get<SQLLEN>(desc, 2, SQL_DESC_OCTET_LENGTH));
}
