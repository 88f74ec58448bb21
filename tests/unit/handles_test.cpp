// Handle records through the exported allocation and release functions, the
// descriptor record arrays and the call frame with its per-connection lock.
#include "driver/entry/apicall.h"
#include "driver/stmt/resultset.h"
#include "support/driver_handles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// The fixture's connection is freed last, with whatever the test left on it.
using Handles = vorntest::StatementTest;

// Gives a record texts on the heap, so that LeakSanitizer sees any that are lost.
void giveTexts(DescriptorRecord& r) {
    // Longer than a short-string buffer: each is a heap block.
    r.name = "name of the record, longer than sixteen";
    r.baseColumnName = "base column name, longer than sixteen";
    r.typeName = "VARCHAR type name, longer than sixteen";
    r.literalPrefix = "'";
}

// Whether another thread gets conn's lock in try-mode within waitMs.
bool otherThreadGets(Connection* conn, int waitMs) {
    std::atomic<bool> got{false};
    std::thread([&] { got = VSqlLock(conn).lock(false, waitMs); }).join();
    return got;
}

}  // namespace

TEST_F(Handles, FreeingADescriptorTwoStatementsUseRestoresTheirImplicitOnes) {
    SQLHANDLE second = nullptr, explicitOne = nullptr, sharedOne = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &second), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &explicitOne), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &sharedOne), SQL_SUCCESS);
    Statement *a = stmt, *b = static_cast<Statement*>(second);
    auto* keep = static_cast<Descriptor*>(explicitOne);
    auto* shared = static_cast<Descriptor*>(sharedOne);
    a->ard = b->ard = b->apd = shared;
    a->apd = keep;
    setRecordCount(shared, 2);
    giveTexts(shared->records[0]);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, shared), SQL_SUCCESS);
    EXPECT_EQ((std::vector<Descriptor*>{a->implicitArd, b->implicitArd, b->implicitApd, keep}),
              (std::vector<Descriptor*>{a->ard, b->ard, b->apd, a->apd}));
    ASSERT_EQ(int(conn->descriptors.size()), 1);
    EXPECT_EQ(conn->descriptors.at(0).get(), keep);

    // An implicit descriptor cannot be freed on its own.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, a->ird), SQL_ERROR);
    ASSERT_EQ(a->ird->diag.count, 1u);
    EXPECT_STREQ(diagRecordAt(a->ird->diag, 1)->sqlState, "HY017");

    // Freeing the connection (at the end) releases the statement and the
    // descriptor it still owns; LeakSanitizer checks the rest.
    conn->dbmsVersion.assign(200, 'v');
    ASSERT_EQ(setRecordCount(keep, 1), 0);
    EXPECT_EQ(setRecordCount(keep, -1), -1);
    EXPECT_EQ(setRecordCount(keep, 40000), -1);
    giveTexts(keep->records[0]);
}

// Unknown types, null, freed, foreign and mistyped handles are refused
// before anything reads them.
TEST_F(Handles, UnknownTypesAndHandlesThatAreNotLive) {
    SQLHANDLE sentinel = reinterpret_cast<SQLHANDLE>(std::uintptr_t(0x1234));
    SQLHANDLE out = sentinel;
    for (SQLSMALLINT type : {0, 5, -1}) {
        EXPECT_EQ(SQLAllocHandle(type, henv, &out), SQL_ERROR) << type;
        EXPECT_EQ(SQLFreeHandle(type, henv), SQL_ERROR) << type;
    }
    EXPECT_EQ(out, sentinel);
    for (SQLSMALLINT type : {SQL_HANDLE_DBC, SQL_HANDLE_STMT, SQL_HANDLE_DESC}) {
        EXPECT_EQ(SQLAllocHandle(type, nullptr, &out), SQL_INVALID_HANDLE) << type;
        EXPECT_EQ(SQLFreeHandle(type, nullptr), SQL_INVALID_HANDLE) << type;
    }
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, nullptr), SQL_ERROR);

    // The fixture's statement is live before the other is freed: the heap
    // could otherwise hand it the freed address.
    SQLHANDLE freed = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &freed), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, freed), SQL_SUCCESS);
    Statement onStack{};
    SQLSMALLINT n = 0;
    for (SQLHANDLE bad : {freed, static_cast<SQLHANDLE>(&onStack), static_cast<SQLHANDLE>(hdbc), SQLHANDLE()}) {
        EXPECT_EQ(SQLNumResultCols(bad, &n), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, bad), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLFreeStmt(bad, SQL_CLOSE), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, bad, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_INVALID_HANDLE);
    }
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hstmt, &freed), SQL_INVALID_HANDLE);  // a statement is no connection
}

// No exception crosses an exported function: the call frame turns it into
// a diagnostic. It also clears the last call's diagnostics and holds the lock.
TEST_F(Handles, CallFrameClearsDiagnosticsHoldsTheLockAndCatchesExceptions) {
    Statement* s = stmt;
    addOdbcError(s, "HY000", "left over from the last call");
    bool otherGot = true;
    EXPECT_EQ(StmtCall(Api::SQLNumResultCols, s).run([&](Statement* st) {
        EXPECT_EQ(st->diag.count, 0u);
        otherGot = otherThreadGets(conn, 20);
        return SQL_SUCCESS_WITH_INFO;
    }),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_FALSE(otherGot);

    EXPECT_EQ(StmtCall(Api::SQLNumResultCols, s).run([](Statement*) -> SQLRETURN { throw std::bad_alloc(); }), SQL_ERROR);
    EXPECT_STREQ(diagRecordAt(s->diag, 1)->message, "[Kalmo][VORNsql driver]Memory allocation error");
    EXPECT_EQ(ConnCall(Api::SQLDisconnect, conn).run([](Connection*) -> SQLRETURN { throw std::runtime_error("boom"); }),
              SQL_ERROR);
    EXPECT_STREQ(diagRecordAt(conn->diag, 1)->message, "[Kalmo][VORNsql driver]boom");
    EXPECT_EQ(StmtCall(Api::SQLNumResultCols, nullptr).run([](Statement*) { return SQL_SUCCESS; }), SQL_INVALID_HANDLE);
}
