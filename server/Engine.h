// The SQL side of a session: one SQLite connection on the shared database
// file, the open query cursors of the session, the long values it handed out
// by key, and the catalog tables VDBS.TABLES and VDBS.COLUMNS.
#pragma once

#include "server/Documents.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vornd {

struct EngineOptions {
    int busyTimeoutMs = 10000;
    std::size_t longThreshold = 4096;          // long values beyond it go by fetch key
    std::size_t objectBudget = 128u << 20;     // bytes of fetchable values kept per session
    std::size_t maxCursors = 16;               // open queries kept per session
    std::size_t statementCache = 32;           // idle prepared statements kept per session
    // Largest answer document or object: the client refuses frames beyond
    // 256 MiB, and the answer's other fields need room too.
    std::size_t maxDocument = 240u << 20;
};

// What an Export command answers: the status (also sent as the record's own
// status), the message, the data block and the type line.
struct CommandAnswer {
    std::int32_t status = 1;
    std::string message;
    std::string data;
    // When there are pieces, the data block is them, in order, instead of
    // `data`: views of the engine's own buffers (a block's head, row chunks
    // and end go out as they are, never joined), valid until its next command.
    std::vector<std::string_view> pieces;
    std::string text;
    std::uint32_t result1 = 0;  // rows in the block, for "execsql"

    std::size_t documentSize() const {
        if (pieces.empty()) return data.size();
        std::size_t n = 0;
        for (std::string_view p : pieces) n += p.size();
        return n;
    }
};

class StatementCache;

// Rows per block meaning "all rows".
constexpr std::uint32_t kAllRows = 0xFFFFFFFFu;

class Engine {
public:
    // Opens the database file for one session. Null and `error` set on failure.
    static std::unique_ptr<Engine> open(const std::string& path, const EngineOptions& options,
                                        std::string& error);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    CommandAnswer execsql(const std::string& sql, std::uint32_t rows, std::uint32_t block);
    CommandAnswer getObject(const std::string& request);     // "FETCHKEY=...\n"
    CommandAnswer getEncoding();
    CommandAnswer getTableDesc(const std::string& request);  // "TABLENAME=...\n"

    // Runs a script of statements (the sample database); false and `error`.
    bool runScript(const std::string& sql, std::string& error);

    // From another thread: makes a running statement fail soon.
    void interrupt();
    // Called now and then while a statement runs; a non-zero result stops
    // it (the client went away, the time is up).
    void setCancelCheck(int (*check)(void*), void* data);

    std::size_t openCursors() const { return cursors_.size(); }
    // Blocks answered by re-running a query and skipping rows, since open.
    std::uint64_t reruns() const { return reruns_; }

private:
    struct Cursor;
    struct StoredObject {
        std::string bytes;
        bool text = false;
    };
    // Fetch keys handed out with one block: numbers from `first` to `last`
    // (none when `first` is 0).
    struct HandedOut {
        std::uint64_t first = 0, last = 0;
    };

    explicit Engine(const EngineOptions& options);

    CommandAnswer fault(std::int32_t status, const std::string& context, const std::string& message);
    CommandAnswer sqliteFault(int sqliteCode, const std::string& context, const std::string& message);
    CommandAnswer sqlFault(const std::string& context);

    bool refreshCatalog(std::string& error);
    int prepare(const std::string& sql, sqlite3_stmt** stmt, std::string& error);
    void describe(Cursor& c);
    CommandAnswer block(Cursor& c, std::uint64_t rows, std::uint64_t skip);
    CommandAnswer runChange(sqlite3_stmt* stmt, const std::string& sql, const std::string& cacheKey);
    int stepWithRetry(sqlite3_stmt* stmt, bool writes);
    void writeRow(ResultSetWriter& w, Cursor& c, std::uint64_t rowNumber);
    std::string storeObject(const char* bytes, std::size_t count, bool text);
    void releaseObjects(const HandedOut& range);
    void orphanObjects(const HandedOut& range);
    void dropCursor(const std::string& key);
    void dropAllCursors();
    void evictCursors();

    EngineOptions options_;
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<Cursor>> cursors_;
    std::uint64_t useCounter_ = 0;
    std::unique_ptr<StatementCache> statements_;
    std::map<std::uint64_t, StoredObject> objects_;  // by number, oldest first
    std::deque<HandedOut> orphans_;  // of queries that are gone
    std::size_t objectBytes_ = 0;
    // Reused from block to block: the rows, and the head of the document.
    RowChunks rows_;
    std::string document_;
    std::uint64_t nextObject_ = 0;
    int catalogVersion_ = -1;
    std::uint64_t reruns_ = 0;
};

}  // namespace vornd
