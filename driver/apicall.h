// The frame of every exported ODBC function that receives a connection,
// statement or descriptor handle: take the connection's lock, write the entry
// line, clear the handle's diagnostics, run the body, write the exit line,
// leave the lock. No exception leaves the body: memory exhaustion becomes
// HY001, anything else HY000, both SQL_ERROR.
//
//   SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* n) {
//       return StmtCall("SQLNumResultCols", h).run([&](Statement* s) { return VSqlNumResultCols(s, n); });
//   }
//   // own entry text / exit text:
//   return ConnCall("SQLGetInfo", h).enter("Enter with InfoType = %d", type)
//       .run([&](Connection* c) { ... }, "Exit with return = %d");
//
// A handle that is not live (null, freed, foreign, of another type) is
// answered with SQL_INVALID_HANDLE.
#pragma once

#include "driver/handles.h"
#include "log/VfxLogger.h"

#include <exception>
#include <new>

// Runs body (returning SQLRETURN) and turns an escaping exception into a
// diagnostic on area and SQL_ERROR.
template <typename Body>
SQLRETURN runGuarded(DiagArea* area, std::uint32_t odbcVersion, Body&& body) {
    // The record is added inside the handler: what() dies with the exception.
    auto record = [&](const char* state, const char* text) {
        try {
            if (area) addOdbcError(odbcVersion, *area, state, text);
        } catch (...) {
        }
    };
    try {
        return body();
    } catch (const std::bad_alloc&) {
        record("HY001", "Memory allocation error");
    } catch (const std::exception& e) {
        record("HY000", e.what());
    } catch (...) {
        record("HY000", nullptr);
    }
    return SQL_ERROR;
}

extern const char* const kExitWithReturnCode;  // "Exit with return code %d"

template <typename H>
class ApiCall {
public:
    ApiCall(const char* tag, SQLHANDLE handle)
        : tag_(tag), handle_(liveHandle<H>(handle)), lock_(handle_) {
        lock_.lock(true, -1);
    }
    ApiCall(const ApiCall&) = delete;
    ApiCall& operator=(const ApiCall&) = delete;

    // Entry line with the call's own text; clears the diagnostics.
    ApiCall& enter(const char* format, ...) VFX_PRINTF(2, 3) {
        va_list args;
        va_start(args, format);
        driverLog().LogV(IVfxLogger::kDebug, tag_, 0, format, args);
        va_end(args);
        begin();
        return *this;
    }

    // Runs body(H*) and writes the exit line (its format takes the return
    // code; null writes none). Writes the plain "Enter" line when enter()
    // was not called.
    template <typename Body>
    SQLRETURN run(Body&& body, const char* exitFormat = kExitWithReturnCode) {
        if (!entered_) {
            driverLog().Debug(tag_, "Enter");
            begin();
        }
        SQLRETURN rc = SQL_INVALID_HANDLE;
        if (handle_) {
            H* h = handle_;
            rc = runGuarded(&h->diag, odbcVersionOf(h), [&]() -> SQLRETURN { return body(h); });
            // A text output cut short is a warning with its own record.
            if (takeTextCut() && rc == SQL_SUCCESS_WITH_INFO) addTruncationWarning(odbcVersionOf(h), h->diag);
        }
        if (exitFormat) driverLog().Debug(tag_, exitFormat, int(rc));
        return rc;
    }

private:
    void begin() {
        entered_ = true;
        takeTextCut();
        if (handle_) clearDiagArea(handle_->diag);
    }
    const char* tag_;
    H* handle_;
    VSqlLock lock_;
    bool entered_ = false;
};

using EnvCall = ApiCall<Environment>;
using ConnCall = ApiCall<Connection>;
using StmtCall = ApiCall<Statement>;
using DescCall = ApiCall<Descriptor>;
