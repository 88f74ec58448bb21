// Handle records through the exported allocation and release functions, the
// descriptor record arrays, the per-connection lock and the call frame.
#include "driver/apicall.h"
#include "driver/handles.h"
#include "driver/resultset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

// An environment and a connection, freed at the end of the test.
struct Handles : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc), SQL_SUCCESS);
        env = static_cast<Environment*>(henv);
        conn = static_cast<Connection*>(hdbc);
    }
    void TearDown() override {
        if (hdbc) {
            EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
        }
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv), SQL_SUCCESS);
    }
    Statement* newStmt() {
        SQLHANDLE h = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &h), SQL_SUCCESS);
        return static_cast<Statement*>(h);
    }
    Descriptor* newDesc() {
        SQLHANDLE h = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &h), SQL_SUCCESS);
        return static_cast<Descriptor*>(h);
    }
    SQLHANDLE henv = nullptr, hdbc = nullptr;
    Environment* env = nullptr;
    Connection* conn = nullptr;
};

void giveTexts(DescriptorRecord& r) {
    r.name = newText("name");
    r.baseColumnName = newText("base column");
    r.typeName = newText("VARCHAR");
    r.literalPrefix = newText("'");
}

}  // namespace

TEST_F(Handles, FreshHandlesHaveTheirStartingValues) {
    EXPECT_EQ(env->odbcVersion, std::uint32_t(SQL_OV_ODBC3));
    EXPECT_EQ(conn->env, env);
    EXPECT_EQ(conn->lockEnabled, 1u);
    EXPECT_EQ(conn->session, nullptr);

    Statement* s = newStmt();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->conn, conn);
    EXPECT_EQ(conn->statements.getAt(0), s);
    Descriptor* all[] = {s->ird, s->implicitArd, s->ipd, s->implicitApd};
    std::uint32_t kinds[] = {DESC_IRD, DESC_ARD, DESC_IPD, DESC_APD};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(all[i], nullptr);
        EXPECT_EQ(all[i]->kind, kinds[i]);
        EXPECT_EQ(all[i]->allocType, SQL_DESC_ALLOC_AUTO);
        EXPECT_EQ(all[i]->conn, conn);
        EXPECT_EQ(all[i]->count, 0);
        for (int j = 0; j < i; ++j) EXPECT_NE(all[i], all[j]);
    }
    EXPECT_EQ(s->ard, s->implicitArd);
    EXPECT_EQ(s->apd, s->implicitApd);
    EXPECT_EQ(s->ard->arraySize, 1u);
    EXPECT_EQ(s->apd->arraySize, 1u);
    EXPECT_EQ(s->ard->bindType, 0u);
    EXPECT_EQ(s->blockSize, 10u);
    EXPECT_EQ(s->blockMode, 1);
    EXPECT_EQ(conn->descriptors.getCount(), 0);  // implicit ones are the statement's

    Descriptor* d = newDesc();
    EXPECT_EQ(d->kind, std::uint32_t(DESC_ARD));
    EXPECT_EQ(d->allocType, SQL_DESC_ALLOC_USER);
    EXPECT_EQ(d->arraySize, 1u);
    EXPECT_EQ(conn->descriptors.getAt(0), d);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
    EXPECT_EQ(conn->statements.getCount(), 0);
    // d is released with the connection.
}

TEST_F(Handles, UnbindAndResetParamsEmptyTheCurrentApplicationDescriptors) {
    Statement* s = newStmt();
    Descriptor* explicitArd = newDesc();
    s->ard = explicitArd;
    ASSERT_EQ(setRecordCount(explicitArd, 2), 0);
    giveTexts(explicitArd->records[1]);
    ASSERT_EQ(setRecordCount(s->implicitArd, 1), 0);
    ASSERT_EQ(setRecordCount(s->apd, 3), 0);
    giveTexts(s->apd->records[0]);

    EXPECT_EQ(SQLFreeStmt(s, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(explicitArd->count, 0);
    EXPECT_EQ(explicitArd->records, nullptr);
    EXPECT_EQ(s->ard, explicitArd);
    EXPECT_EQ(s->implicitArd->count, 1);  // not the current ARD: untouched
    EXPECT_EQ(s->apd->count, 3);

    EXPECT_EQ(SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(s->apd->count, 0);
    EXPECT_EQ(s->apd->records, nullptr);
    EXPECT_EQ(SQLFreeStmt(s, 99), SQL_SUCCESS);  // unknown options do nothing

    // Dropping the statement empties the explicit ARD it uses but leaves it
    // to the connection.
    setRecordCount(explicitArd, 1);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
    EXPECT_EQ(conn->descriptors.getAt(0), explicitArd);
    EXPECT_EQ(explicitArd->count, 0);
}

TEST_F(Handles, FreeingADescriptorTwoStatementsUseRestoresTheirImplicitOnes) {
    Statement* a = newStmt();
    Statement* b = newStmt();
    Descriptor* keep = newDesc();
    Descriptor* shared = newDesc();
    a->ard = shared;
    b->ard = shared;
    b->apd = shared;
    a->apd = keep;
    setRecordCount(shared, 2);
    giveTexts(shared->records[0]);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, shared), SQL_SUCCESS);
    EXPECT_EQ(a->ard, a->implicitArd);
    EXPECT_EQ(b->ard, b->implicitArd);
    EXPECT_EQ(b->apd, b->implicitApd);
    EXPECT_EQ(a->apd, keep);
    ASSERT_EQ(conn->descriptors.getCount(), 1);
    EXPECT_EQ(conn->descriptors.getAt(0), keep);

    // An implicit descriptor cannot be freed on its own.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, a->ird), SQL_ERROR);
    ASSERT_EQ(a->ird->diag.count, 1u);
    EXPECT_STREQ(diagRecordAt(a->ird->diag, 1)->sqlState, "HY017");
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, a), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, b), SQL_SUCCESS);
}

TEST_F(Handles, RecordArraysGrowWithDefaultsAndShrinkReleasingTexts) {
    Statement* s = newStmt();
    ASSERT_EQ(setRecordCount(s->ipd, 3), 0);
    ASSERT_EQ(setRecordCount(s->ard, 3), 0);
    ASSERT_EQ(setRecordCount(s->ird, 3), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s->ipd->records[i].parameterType, SQL_PARAM_INPUT);
        EXPECT_EQ(s->ipd->records[i].type, 0);
        EXPECT_EQ(s->ard->records[i].type, SQL_C_DEFAULT);
        EXPECT_EQ(s->ard->records[i].conciseType, SQL_C_DEFAULT);
        EXPECT_EQ(s->ard->records[i].parameterType, 0);
        EXPECT_EQ(s->ird->records[i].type, 0);
        EXPECT_EQ(s->ird->records[i].conciseType, 0);
    }
    for (int i = 0; i < 3; ++i) giveTexts(s->ird->records[i]);
    s->ird->records[2].dataPtr = &s;
    s->ird->records[0].octetLength = 42;

    ASSERT_EQ(setRecordCount(s->ird, 1), 0);
    EXPECT_EQ(s->ird->count, 1);
    EXPECT_STREQ(s->ird->records[0].name, "name");
    EXPECT_EQ(s->ird->records[1].name, nullptr);
    EXPECT_EQ(s->ird->records[2].typeName, nullptr);
    EXPECT_EQ(s->ird->records[2].baseColumnName, nullptr);

    // Growing again starts the new records from zeros, keeping record 1.
    ASSERT_EQ(setRecordCount(s->ird, 4), 0);
    EXPECT_EQ(s->ird->records[2].dataPtr, nullptr);
    EXPECT_EQ(s->ird->records[0].octetLength, 42);
    EXPECT_STREQ(s->ird->records[0].literalPrefix, "'");

    EXPECT_EQ(setRecordCount(s->ird, -1), -1);
    EXPECT_EQ(setRecordCount(s->ird, 40000), -1);
    EXPECT_EQ(s->ird->count, 4);
    ASSERT_EQ(setRecordCount(s->ird, 0), 0);
    EXPECT_EQ(s->ird->records[0].name, nullptr);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}

TEST_F(Handles, CloseForgetsTheExecutionButKeepsBindings) {
    Statement* s = newStmt();
    s->sqlText = newText("SELECT * FROM T WHERE A = ?");
    s->sentText = newText("SELECT * FROM T WHERE A = 1");
    s->rowCount = 12;
    s->rowPosition = 11;
    s->blockNumber = 2;
    s->lastRowsetSize = 5;
    s->cursorName = newText("SQL_CUR1");
    s->resultSet = newResultSet();
    ASSERT_NE(s->resultSet, nullptr);
    appendColumn(s->resultSet);
    appendRow(s->resultSet);
    setRecordCount(s->ard, 2);
    setRecordCount(s->apd, 1);

    EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(s->sqlText, nullptr);
    EXPECT_EQ(s->sentText, nullptr);
    EXPECT_EQ(s->resultSet, nullptr);
    EXPECT_EQ(s->rowCount, -1);
    EXPECT_EQ(s->rowPosition, 0);
    EXPECT_EQ(s->blockNumber, 0u);
    EXPECT_EQ(s->lastRowsetSize, 1u);
    EXPECT_STREQ(s->cursorName, "SQL_CUR1");
    EXPECT_EQ(s->ard->count, 2);
    EXPECT_EQ(s->apd->count, 1);
    // The drop releases the rest (cursor name, bindings, result): no leak.
    s->resultSet = newResultSet();
    s->putDataBuffer = static_cast<unsigned char*>(plat::heapAlloc(16));
    s->markers.append(reinterpret_cast<void*>(std::uintptr_t(7)));
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}

TEST_F(Handles, UnknownHandleTypesAndNullHandles) {
    SQLHANDLE sentinel = reinterpret_cast<SQLHANDLE>(std::uintptr_t(0x1234));
    SQLHANDLE out = sentinel;
    EXPECT_EQ(SQLAllocHandle(5, henv, &out), SQL_ERROR);
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(SQLAllocHandle(0, henv, &out), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(-1, nullptr, &out), SQL_ERROR);
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(SQLFreeHandle(5, henv), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(5, nullptr), SQL_ERROR);

    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, nullptr, &out), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, nullptr, &out), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, nullptr), SQL_ERROR);
    EXPECT_EQ(conn->statements.getCount(), 0);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeStmt(nullptr, SQL_CLOSE), SQL_INVALID_HANDLE);
}

TEST_F(Handles, FreeingAConnectionReleasesWhatItStillOwns) {
    Statement* s = newStmt();
    Descriptor* d = newDesc();
    s->ard = d;
    setRecordCount(d, 2);
    giveTexts(d->records[1]);
    conn->dbmsVersion = newText("VORN 7.1");
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
    hdbc = nullptr;  // LeakSanitizer checks the rest
}

TEST_F(Handles, LockIsReentrantForItsOwnerAndTimedInTryMode) {
    Statement* s = newStmt();
    {
        VSqlLock outer(conn);
        ASSERT_TRUE(outer.lock(true, -1));
        EXPECT_FALSE(outer.lock(true, -1));  // a second lock on one object
        VSqlLock nested(s);                 // an exported function calling another
        EXPECT_TRUE(nested.lock(true, -1));
        nested.unlock();

        std::atomic<int> got{-1};
        std::thread other([&] {
            VSqlLock lock(s->ard);
            got = lock.lock(false, 30) ? 1 : 0;  // gives up: this thread holds the section
        });
        other.join();
        EXPECT_EQ(got, 0);
    }
    std::atomic<int> got{-1};
    std::thread other([&] {
        VSqlLock lock(conn);
        got = lock.lock(false, 5000) ? 1 : 0;
    });
    other.join();
    EXPECT_EQ(got, 1);

    // Without a connection, or with a handle that cannot be read, the lock
    // does nothing.
    VSqlLock none(static_cast<Connection*>(nullptr));
    EXPECT_FALSE(none.lock(true, -1));
    VSqlLock bogus(reinterpret_cast<Statement*>(std::uintptr_t(16)));
    EXPECT_FALSE(bogus.lock(true, -1));
    EXPECT_EQ(bogus.section, nullptr);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}

TEST_F(Handles, FreeingAConnectionWaitsForAThreadThatHoldsIt) {
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

TEST_F(Handles, CallFrameClearsDiagnosticsAndCatchesExceptions) {
    Statement* s = newStmt();
    addOdbcError(s, "HY000", "left over from the last call");
    bool ran = false;
    EXPECT_EQ(StmtCall("Test", s).run([&](Statement* st) {
        ran = st == s;
        EXPECT_EQ(st->diag.count, 0u);
        return SQL_SUCCESS_WITH_INFO;
    }),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_TRUE(ran);

    EXPECT_EQ(StmtCall("Test", s).enter("Enter with %d", 1).run([](Statement*) -> SQLRETURN {
        throw std::bad_alloc();
    }),
              SQL_ERROR);
    ASSERT_EQ(s->diag.count, 1u);
    EXPECT_STREQ(diagRecordAt(s->diag, 1)->sqlState, "HY001");
    EXPECT_STREQ(diagRecordAt(s->diag, 1)->message, "[Kalmo][VORNsql driver]Memory allocation error");

    EXPECT_EQ(ConnCall("Test", conn).run([](Connection*) -> SQLRETURN { throw std::runtime_error("boom"); }),
              SQL_ERROR);
    EXPECT_STREQ(diagRecordAt(conn->diag, 1)->message, "[Kalmo][VORNsql driver]boom");
    EXPECT_STREQ(diagRecordAt(conn->diag, 1)->sqlState, "HY000");

    EXPECT_EQ(StmtCall("Test", nullptr).run([](Statement*) { return SQL_SUCCESS; }), SQL_INVALID_HANDLE);

    // The frame holds the connection's lock while the body runs.
    std::atomic<int> other{-1};
    StmtCall("Test", s).run([&](Statement*) {
        std::thread t([&] {
            VSqlLock lock(conn);
            other = lock.lock(false, 20) ? 1 : 0;
        });
        t.join();
        return SQL_SUCCESS;
    });
    EXPECT_EQ(other, 0);

    addOdbcError(s, "HY000", "x");
    EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(s->diag.count, 0u);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s), SQL_SUCCESS);
}
