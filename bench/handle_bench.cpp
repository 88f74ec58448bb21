// Cost of the per-call frame: THREADS threads, each on its own connection
// and statement, call SQLNumResultCols CALLS times. No server is needed: the
// call touches only the handle, its lock and its diagnostics. Time the whole
// process from outside (e.g. /usr/bin/time) with 1 and 2 threads: with no
// process-wide lock on the path, two threads take about as long as one.
//
//   handle_bench [THREADS] [CALLS]      (defaults: 1, 2000000)
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

extern "C" {
SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT, SQLHANDLE);
SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT, SQLSMALLINT*);
}

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::atoi(argv[1]) : 1;
    const long calls = argc > 2 ? std::atol(argv[2]) : 2000000;
    SQLHANDLE env = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) return 1;
    std::vector<std::thread> workers;
    std::vector<int> failed(std::size_t(threads > 0 ? threads : 0), 0);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            SQLHANDLE dbc = nullptr, stmt = nullptr;
            SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
            SQLSMALLINT n = 0;
            for (long i = 0; i < calls; ++i)
                if (SQLNumResultCols(stmt, &n) != SQL_SUCCESS) ++failed[std::size_t(t)];
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        });
    }
    for (std::thread& w : workers) w.join();
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    long bad = 0;
    for (int f : failed) bad += f;
    std::printf("%d threads x %ld calls, %ld failed\n", threads, calls, bad);
    return bad == 0 ? 0 : 1;
}
