// An ODBC 3 environment with one connection (not connected) and one statement,
// allocated through the DLL's exports for each test and freed after it.
#pragma once

#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <utility>

namespace vornwin {

class OdbcHandles : public ::testing::Test {
protected:

    void SetUp() override {
        auto alloc = VORN_DLL_FN(SQLAllocHandle);
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
        ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLSetEnvAttr)(env, SQL_ATTR_ODBC_VERSION,
                                                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        auto release = VORN_DLL_FN(SQLFreeHandle);
        // Only what SetUp allocated before any failure.
        for (auto [type, handle] : {std::pair<SQLSMALLINT, SQLHANDLE>{SQL_HANDLE_STMT, stmt}, {SQL_HANDLE_DBC, dbc},
                                    {SQL_HANDLE_ENV, env}}) {
            if (handle) {
                EXPECT_EQ(SQL_SUCCESS, release(type, handle)) << type;
            }
        }
    }

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
};

}  // namespace vornwin
