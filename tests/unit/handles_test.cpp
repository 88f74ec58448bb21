// Handle records through the exported allocation and release functions, the
// descriptor record arrays, the per-connection lock and the call frame.
#include "driver/entry/apicall.h"
#include "driver/entry/handles.h"
#include "driver/stmt/resultset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// An environment and a connection, freed at the end of the test.
struct Handles : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc), SQL_SUCCESS);
        conn = static_cast<Connection*>(hdbc);
    }
    void TearDown() override {
        if (hdbc) {
            EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
        }
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv), SQL_SUCCESS);
    }
    template <typename T>
    T* alloc(SQLSMALLINT type) {
        SQLHANDLE h = nullptr;
        EXPECT_EQ(SQLAllocHandle(type, hdbc, &h), SQL_SUCCESS);
        return static_cast<T*>(h);
    }
    Statement* newStmt() { return alloc<Statement>(SQL_HANDLE_STMT); }
    Descriptor* newDesc() { return alloc<Descriptor>(SQL_HANDLE_DESC); }
    SQLHANDLE henv = nullptr, hdbc = nullptr;
    Connection* conn = nullptr;
};

// Gives a record texts on the heap, so that LeakSanitizer sees any that are lost.
void giveTexts(DescriptorRecord& r) {
    // Longer than a short-string buffer: each is a heap block.
    r.name = "name of the record, longer than sixteen";
    r.baseColumnName = "base column name, longer than sixteen";
    r.typeName = "VARCHAR type name, longer than sixteen";
    r.literalPrefix = "'";
}

}  // namespace

TEST_F(Handles, FreeingADescriptorTwoStatementsUseRestoresTheirImplicitOnes) {
    Statement* a = newStmt();
    Statement* b = newStmt();
    Descriptor* keep = newDesc();
    Descriptor* shared = newDesc();
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

    // Freeing the connection releases the statements and descriptors it
    // still owns; LeakSanitizer checks the rest.
    conn->dbmsVersion.assign(200, 'v');
    ASSERT_EQ(setRecordCount(keep, 1), 0);
    giveTexts(keep->records[0]);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
    hdbc = nullptr;
}

TEST_F(Handles, RecordArraysGrowWithDefaultsAndShrinkReleasingTexts) {
    Statement* s = newStmt();
    // New records take their kind's defaults.
    ASSERT_EQ(setRecordCount(s->ipd, 3), 0);
    ASSERT_EQ(setRecordCount(s->ard, 3), 0);
    ASSERT_EQ(setRecordCount(s->ird, 3), 0);
    EXPECT_EQ(s->ipd->records[2].parameterType, SQL_PARAM_INPUT);
    EXPECT_EQ(s->ard->records[2].conciseType, SQL_C_DEFAULT);
    for (int i = 0; i < 3; ++i) giveTexts(s->ird->records[i]);
    s->ird->records[2].dataPtr = &s;
    s->ird->records[0].octetLength = 42;

    // Shrinking releases the dropped records' texts (LeakSanitizer checks);
    // growing again starts them from zeros, keeping record 1.
    ASSERT_EQ(setRecordCount(s->ird, 1), 0);
    ASSERT_EQ(setRecordCount(s->ird, 4), 0);
    EXPECT_EQ("|0|42|'", s->ird->records[1].name + "|" + std::to_string(bool(s->ird->records[2].dataPtr)) + "|" +
                           std::to_string(s->ird->records[0].octetLength) + "|" + s->ird->records[0].literalPrefix);

    EXPECT_EQ(setRecordCount(s->ird, -1), -1);
    EXPECT_EQ(setRecordCount(s->ird, 40000), -1);
    EXPECT_EQ(s->ird->count, 4);
    ASSERT_EQ(setRecordCount(s->ird, 0), 0);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}

TEST_F(Handles, UnknownHandleTypesAndNullHandles) {
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
    EXPECT_EQ(int(conn->statements.size()), 0);
    EXPECT_EQ(SQLFreeStmt(nullptr, SQL_CLOSE), SQL_INVALID_HANDLE);
}

// Freed, foreign and mistyped handles are refused before anything reads them.
TEST_F(Handles, HandlesThatAreNotLiveAreInvalid) {
    // The live statement is allocated before the other is freed: the heap
    // could otherwise hand it the freed address.
    SQLHANDLE freed = nullptr, stmt = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &freed), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, freed), SQL_SUCCESS);
    Statement onStack{};
    SQLSMALLINT n = 0;
    for (SQLHANDLE bad : {freed, static_cast<SQLHANDLE>(&onStack), static_cast<SQLHANDLE>(hdbc)}) {
        EXPECT_EQ(SQLNumResultCols(bad, &n), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, bad), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLMoreResults(bad), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, bad, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_INVALID_HANDLE);
    }
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, stmt, &freed), SQL_INVALID_HANDLE);  // a statement is no connection
    EXPECT_EQ(SQLNumResultCols(stmt, &n), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
}

namespace {
// Whether another thread gets conn's lock in try-mode within waitMs.
bool otherThreadGets(Connection* conn, int waitMs) {
    std::atomic<bool> got{false};
    std::thread([&] { got = VSqlLock(conn).lock(false, waitMs); }).join();
    return got;
}
}  // namespace

TEST_F(Handles, LockIsReentrantForItsOwnerAndTimedInTryMode) {
    Statement* s = newStmt();
    {
        VSqlLock outer(conn);
        ASSERT_TRUE(outer.lock(true, -1));
        EXPECT_FALSE(outer.lock(true, -1));  // a second lock on one object
        VSqlLock nested(s);                 // an exported function calling another
        EXPECT_TRUE(nested.lock(true, -1));
        nested.unlock();
        EXPECT_FALSE(otherThreadGets(conn, 30));  // gives up: this thread holds the section
    }
    EXPECT_TRUE(otherThreadGets(conn, 5000));

    // Without a connection the lock does nothing.
    EXPECT_FALSE(VSqlLock(static_cast<Connection*>(nullptr)).lock(true, -1));
    VSqlLock none(static_cast<Statement*>(nullptr));
    EXPECT_FALSE(none.lock(true, -1));
    EXPECT_EQ(none.section, nullptr);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);

    // Freeing a connection waits for a thread that holds it.
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        VSqlLock lock(conn);
        lock.lock(true, -1);
        holding = true;
        plat::sleepMs(50);
    });
    while (!holding) plat::sleepMs(1);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
    hdbc = nullptr;
    holder.join();
}

// No exception crosses an exported function: the call frame turns it into
// a diagnostic. It also clears the last call's diagnostics and holds the lock.
TEST_F(Handles, CallFrameClearsDiagnosticsHoldsTheLockAndCatchesExceptions) {
    Statement* s = newStmt();
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
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}
