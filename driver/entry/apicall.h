// The frame of every exported ODBC function: take the connection's lock,
// write the entry line, clear the handle's diagnostics, run the body, write
// the exit line, leave the lock. The lines are those of the function's row in
// driver/entrytexts.def: a call site names only its function (and its W form).
// No exception leaves the body: memory exhaustion becomes HY001, anything
// else HY000, both SQL_ERROR.
//
//   SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* n) {
//       return StmtCall(Api::SQLNumResultCols, h).run([&](Statement* s) { return VSqlNumResultCols(s, n); });
//   }
//   // an entry text with arguments:
//   return ConnCall(Api::SQLGetInfo, h).enter(int(type)).run([&](Connection* c) { ... });
//
// A handle that is not live (null, freed, foreign, of another type) is
// answered with SQL_INVALID_HANDLE.
#pragma once

#include "driver/entry/handles.h"
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

// Whether the entry and exit lines are written at all: asked first, so that
// a call with logging off formats nothing (SQLGetData runs once per value).
inline bool apiLines() { return driverLog().GetLevel() >= IVfxLogger::kDebug; }

// The exported functions, one for each row of driver/entrytexts.def.
enum class Api : int {
#define API_TEXTS(name, entry, exit, wideExit) name,
#define API_TEXTS_AS(name, logName, entry, exit, wideExit) name,
#include "driver/entrytexts.def"
#undef API_TEXTS
#undef API_TEXTS_AS
};

// A function of the table in its ANSI or its W form.
struct ApiName {
    ApiName(Api f) : fn(f) {}  // NOLINT: a function names its ANSI form
    Api fn;
    bool wide = false;
};
inline ApiName wideForm(Api fn) {
    ApiName name(fn);
    name.wide = true;
    return name;
}

struct ApiTexts {
    const char* name;
    const char* wideName;
    const char* entry;
    const char* exit;
    const char* wideExit;
};
const ApiTexts& apiTexts(Api fn);

// How a frame treats its handle. Standard: lock and clear. KeepDiagnostics:
// the diagnostics stay readable (the data-at-execution calls). NoLock: the
// body releases the connection and its section itself.
enum class Frame { Standard, KeepDiagnostics, NoLock };

// The part of the frame that needs no handle: the lines and the guard. The
// diagnostic functions and the calls without an input handle use it alone.
class ApiFrame {
public:
    explicit ApiFrame(ApiName fn)
        : texts_(apiTexts(fn.fn)), tag_(fn.wide ? texts_.wideName : texts_.name),
          exit_(fn.wide ? texts_.wideExit : texts_.exit) {}
    ApiFrame(const ApiFrame&) = delete;
    ApiFrame& operator=(const ApiFrame&) = delete;

    // The entry line with the call's arguments.
    template <typename... Args>
    ApiFrame& enter(Args... args) {
        if (texts_.entry && apiLines()) driverLog().Debug(tag_, texts_.entry, args...);
        entered_ = true;
        takeTextCut();
        return *this;
    }

    // Runs body() and writes the exit line (none when exitLine is false).
    template <typename Body>
    SQLRETURN run(Body&& body, bool exitLine = true) {
        if (!entered_) enterPlain();
        const SQLRETURN rc = runGuarded(nullptr, SQL_OV_ODBC3, body);
        if (exitLine) leave(rc);
        return rc;
    }

    // The lines of another function of the table that this one performs
    // inside its own frame (SQLFetchScroll fetching as SQLFetch does).
    template <typename Body>
    static SQLRETURN inner(Api fn, Body&& body) {
        const ApiTexts& texts = apiTexts(fn);
        if (texts.entry && apiLines()) driverLog().Debug(texts.name, "%s", texts.entry);
        const SQLRETURN rc = body();
        if (texts.exit && apiLines()) driverLog().Debug(texts.name, texts.exit, int(rc));
        return rc;
    }

protected:
    void enterPlain() {
        if (texts_.entry && apiLines()) driverLog().Debug(tag_, "%s", texts_.entry);
        entered_ = true;
        takeTextCut();
    }
    void leave(SQLRETURN rc) {
        if (exit_ && apiLines()) driverLog().Debug(tag_, exit_, int(rc));
    }
    const ApiTexts& texts_;
    const char* tag_;
    const char* exit_;
    bool entered_ = false;
};

template <typename H>
class ApiCall : public ApiFrame {
public:
    ApiCall(ApiName fn, SQLHANDLE handle, Frame frame = Frame::Standard)
        : ApiCall(fn, liveHandle<H>(handle), frame, nullptr) {}
    // Locked through another live handle of the same kind, while the
    // diagnostics are those of the handle (SQLCopyDesc: source and target).
    ApiCall(ApiName fn, SQLHANDLE handle, H* lockedThrough)
        : ApiCall(fn, liveHandle<H>(handle), Frame::Standard, lockedThrough) {}

    template <typename... Args>
    ApiCall& enter(Args... args) {
        ApiFrame::enter(args...);
        clear();
        return *this;
    }

    // Runs body(H*) and writes the exit line (none when exitLine is false).
    template <typename Body>
    SQLRETURN run(Body&& body, bool exitLine = true) {
        if (!entered_) {
            enterPlain();
            clear();
        }
        SQLRETURN rc = SQL_INVALID_HANDLE;
        if (handle_) {
            H* h = handle_;
            rc = runGuarded(&h->diag, odbcVersionOf(h), [&]() -> SQLRETURN { return body(h); });
            // A text output cut short is a warning with its own record.
            if (takeTextCut() && rc == SQL_SUCCESS_WITH_INFO) addTruncationWarning(odbcVersionOf(h), h->diag);
        }
        if (exitLine) leave(rc);
        return rc;
    }

private:
    ApiCall(ApiName fn, H* handle, Frame frame, H* lockedThrough)
        : ApiFrame(fn), handle_(handle), frame_(frame), lock_(lockedThrough ? lockedThrough : handle) {
        if (frame_ != Frame::NoLock) lock_.lock(true, -1);
    }
    void clear() {
        if (handle_ && frame_ != Frame::KeepDiagnostics) clearDiagArea(handle_->diag);
    }
    H* handle_;
    Frame frame_;
    VSqlLock lock_;
};

using EnvCall = ApiCall<Environment>;
using ConnCall = ApiCall<Connection>;
using StmtCall = ApiCall<Statement>;
using DescCall = ApiCall<Descriptor>;
