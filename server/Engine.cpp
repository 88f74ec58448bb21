#include "server/Engine.h"

#include "server/Codec.h"
#include "server/SqlText.h"
#include "server/Status.h"
#include "server/TypeMap.h"

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

namespace vornd {

// How a query's result is described: kept with its idle statement, so that
// a query run again is not described again. Valid while SQLite has not
// recompiled the statement (`recompiles` is its count of those then); -1
// when the description depends on the rows (a column without a declared
// type takes its first value's).
struct Described {
    std::vector<ColumnInfo> columns;
    ResultSetHead head;
    int recompiles = -1;
};

// The session's idle prepared statements by their text, so that a statement
// run again is not compiled again. A statement handed back is reset and its
// bindings cleared; SQLite itself recompiles one whose schema has changed
// under it, and the cache is emptied after the session changes the schema.
class StatementCache {
public:
    explicit StatementCache(std::size_t capacity) : capacity_(capacity) {}
    ~StatementCache() { clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The idle statement of that text, now the caller's; null when none.
    sqlite3_stmt* take(const std::string& sql, Described* described = nullptr) {
        auto it = idle_.find(sql);
        if (it == idle_.end()) return nullptr;
        sqlite3_stmt* stmt = it->second.stmt;
        if (described) *described = std::move(it->second.described);
        idle_.erase(it);
        return stmt;
    }

    // Keeps a statement that is done with, or finalizes it.
    void give(const std::string& sql, sqlite3_stmt* stmt, Described described = Described()) {
        if (!stmt) return;
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (capacity_ == 0 || !idle_.emplace(sql, Entry{stmt, ++clock_, std::move(described)}).second) {
            sqlite3_finalize(stmt);
            return;
        }
        if (idle_.size() > capacity_) {
            auto oldest = idle_.begin();
            for (auto it = idle_.begin(); it != idle_.end(); ++it)
                if (it->second.lastUse < oldest->second.lastUse) oldest = it;
            sqlite3_finalize(oldest->second.stmt);
            idle_.erase(oldest);
        }
    }

    void clear() {
        for (auto& e : idle_) sqlite3_finalize(e.second.stmt);
        idle_.clear();
    }

    std::size_t size() const { return idle_.size(); }

private:
    struct Entry {
        sqlite3_stmt* stmt;
        std::uint64_t lastUse;
        Described described;
    };
    std::size_t capacity_;
    std::uint64_t clock_ = 0;
    std::unordered_map<std::string, Entry> idle_;
};

struct Engine::Cursor {
    sqlite3_stmt* stmt = nullptr;
    StatementCache* cache = nullptr;  // where the statement goes back to, if anywhere
    std::string cacheKey;
    Engine* engine = nullptr;         // keeps the long values of its last block
    HandedOut objects;                // handed out with the last block
    std::string kind;                 // statementType of its documents
    std::vector<ColumnInfo> columns;
    ResultSetHead head;               // of each block's document
    int recompiles = -1;              // see Described
    std::uint64_t consumed = 0;       // rows handed out or skipped
    bool pending = false;             // stmt stands on the next row to hand out
    bool done = false;
    std::uint64_t lastUse = 0;
    int error = SQLITE_OK;            // a failed step

    ~Cursor() {
        if (engine) engine->orphanObjects(objects);
        if (cache)
            cache->give(cacheKey, stmt, Described{std::move(columns), std::move(head), recompiles});
        else
            sqlite3_finalize(stmt);
    }

    // Moves to the next row.
    void advance() {
        const int rc = sqlite3_step(stmt);
        pending = rc == SQLITE_ROW;
        if (rc == SQLITE_DONE) done = true;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) error = rc;
    }
};

namespace {

// Names compare as SQLite compares them: without regard to case.
const char kCatalogSchema[] =
    "CREATE TABLE VDBS.TABLES (NAME VARCHAR(128) COLLATE NOCASE, OWNER VARCHAR(128), TYPE VARCHAR(16));"
    "CREATE TABLE VDBS.COLUMNS (TABLENAME VARCHAR(128) COLLATE NOCASE, COLNAME VARCHAR(128) COLLATE NOCASE, "
    "SQLTYPE VARCHAR(32), NULLABLE INTEGER, PRIMARYKEY INTEGER, POSITION INTEGER, "
    "DECLTYPE VARCHAR(64), MAXLENGTH INTEGER);";

// Owner reported for every table: the schema name under which the table can
// be named in a statement.
const char kOwner[] = "main";

struct Stmt {
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

std::string_view columnView(sqlite3_stmt* s, int i) {
    const unsigned char* p = sqlite3_column_text(s, i);
    return p ? std::string_view(reinterpret_cast<const char*>(p),
                                static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string_view();
}

const char kObjectPrefix[] = "OBJ";

std::string columnText(sqlite3_stmt* s, int i) {
    const unsigned char* p = sqlite3_column_text(s, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}

// Settings a client may read but not change: they would take the file out
// of WAL mode (and so out of concurrent use), lock other sessions out, or
// let the schema be written as raw text.
const char* const kFixedPragmas[] = {
    "journal_mode", "locking_mode", "writable_schema", "temp_store_directory", "data_store_directory",
};

// Attaching files would reach beyond the served database.
int authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
    if (action == SQLITE_ATTACH || action == SQLITE_DETACH) return SQLITE_DENY;
    if (action == SQLITE_PRAGMA && first && second) {
        for (const char* name : kFixedPragmas)
            if (sqlite3_stricmp(first, name) == 0) return SQLITE_DENY;
    }
    return SQLITE_OK;
}

// The value after "NAME=" up to the line end, for the one-line requests.
bool requestValue(const std::string& request, const char* name, std::string& value) {
    const std::size_t n = std::strlen(name);
    if (request.size() < n + 1) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(request[i])) != name[i]) return false;
    if (request[n] != '=') return false;
    std::size_t end = request.find_first_of("\r\n", n + 1);
    if (end == std::string::npos) end = request.size();
    value = request.substr(n + 1, end - n - 1);
    return !value.empty();
}

std::string withoutTrailingZeros(const std::string& s) {
    std::size_t n = s.size();
    while (n && s[n - 1] == '\0') --n;
    return s.substr(0, n);
}

}  // namespace

Engine::Engine(const EngineOptions& options)
    : options_(options), statements_(new StatementCache(options.statementCache)) {}

Engine::~Engine() {
    cursors_.clear();
    statements_->clear();
    sqlite3_close_v2(db_);
}

std::unique_ptr<Engine> Engine::open(const std::string& path, const EngineOptions& options,
                                     std::string& error) {
    std::unique_ptr<Engine> e(new Engine(options));
    int rc = sqlite3_open_v2(path.c_str(), &e->db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        error = e->db_ ? sqlite3_errmsg(e->db_) : sqlite3_errstr(rc);
        return nullptr;
    }
    sqlite3_busy_timeout(e->db_, options.busyTimeoutMs);
    char* msg = nullptr;
    std::string setup = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                        "ATTACH DATABASE ':memory:' AS VDBS;";
    setup += kCatalogSchema;
    rc = sqlite3_exec(e->db_, setup.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        error = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        return nullptr;
    }
    sqlite3_set_authorizer(e->db_, authorize, nullptr);
    return e;
}

CommandAnswer Engine::fault(std::int32_t status, const std::string& context,
                            const std::string& message) {
    CommandAnswer a;
    a.status = status;
    a.message = message;
    a.data = faultDocument(status, "vornd", context, message);
    return a;
}

CommandAnswer Engine::sqliteFault(int sqliteCode, const std::string& context,
                                  const std::string& message) {
    return fault(kStatusSqlBase + 2 * (sqliteCode & 0xFF), context, message);
}

CommandAnswer Engine::sqlFault(const std::string& context) {
    return sqliteFault(sqlite3_errcode(db_), context, sqlite3_errmsg(db_));
}

int Engine::prepare(const std::string& sql, sqlite3_stmt** stmt, std::string& error) {
    *stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), stmt, &tail);
    if (rc != SQLITE_OK) {
        error = sqlite3_errmsg(db_);
        return rc;
    }
    if (!*stmt) {
        error = "the statement text is empty";
        return SQLITE_MISUSE;
    }
    // One statement per request: a second one would run unseen.
    const char* end = sql.c_str() + sql.size();
    if (tail && tail < end) {
        sqlite3_stmt* next = nullptr;
        rc = sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &next, nullptr);
        const bool more = rc != SQLITE_OK || next;
        sqlite3_finalize(next);
        if (more) {
            sqlite3_finalize(*stmt);
            *stmt = nullptr;
            error = "only one statement per request is allowed";
            return SQLITE_ERROR;
        }
    }
    return SQLITE_OK;
}

bool Engine::refreshCatalog(std::string& error) {
    const bool autocommit = sqlite3_get_autocommit(db_) != 0;
    int version = -1;
    {
        Stmt v;
        if (sqlite3_prepare_v2(db_, "PRAGMA main.schema_version", -1, &v.s, nullptr) == SQLITE_OK &&
            sqlite3_step(v.s) == SQLITE_ROW)
            version = sqlite3_column_int(v.s, 0);
    }
    if (autocommit && version >= 0 && version == catalogVersion_) return true;

    // Open queries over the catalog would read rows that are being replaced.
    for (auto it = cursors_.begin(); it != cursors_.end();) {
        if (mentionsCatalog(it->first))
            it = cursors_.erase(it);
        else
            ++it;
    }

    char* msg = nullptr;
    int rc = sqlite3_exec(db_,
                          "SAVEPOINT vorn_catalog; DELETE FROM VDBS.TABLES; DELETE FROM VDBS.COLUMNS;",
                          nullptr, nullptr, &msg);
    Stmt tables, info, addTable, addColumn;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db_,
                                "SELECT name, type FROM main.sqlite_schema WHERE type IN ('table','view') "
                                "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name",
                                -1, &tables.s, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db_,
                                "SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1, 'main') "
                                "ORDER BY cid",
                                -1, &info.s, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db_, "INSERT INTO VDBS.TABLES VALUES (?1, ?2, ?3)", -1, &addTable.s,
                                nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db_, "INSERT INTO VDBS.COLUMNS VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", -1,
                                &addColumn.s, nullptr);
    while (rc == SQLITE_OK && sqlite3_step(tables.s) == SQLITE_ROW) {
        const std::string name = columnText(tables.s, 0);
        std::string type = columnText(tables.s, 1);
        for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        sqlite3_bind_text(addTable.s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(addTable.s, 2, kOwner, -1, SQLITE_STATIC);
        sqlite3_bind_text(addTable.s, 3, type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(addTable.s);
        rc = sqlite3_reset(addTable.s);

        sqlite3_bind_text(info.s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        int position = 0;
        // A view that no longer compiles has no columns to show; skip it.
        while (rc == SQLITE_OK && sqlite3_step(info.s) == SQLITE_ROW) {
            const std::string declared = columnText(info.s, 1);
            const char* vornType = typeForDeclared(declared.c_str());
            // 0, or the column's place within the primary key (from 1).
            const int keySeq = sqlite3_column_int(info.s, 3);
            const bool notNull = sqlite3_column_int(info.s, 2) != 0;
            sqlite3_bind_text(addColumn.s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(addColumn.s, 2, columnText(info.s, 0).c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(addColumn.s, 3, vornType ? vornType : kTypeVarchar, -1, SQLITE_STATIC);
            sqlite3_bind_int(addColumn.s, 4, notNull ? 0 : 1);
            sqlite3_bind_int(addColumn.s, 5, keySeq > 0 ? keySeq : 0);
            sqlite3_bind_int(addColumn.s, 6, ++position);
            sqlite3_bind_text(addColumn.s, 7, declared.c_str(), -1, SQLITE_TRANSIENT);
            // The length its result columns are described with.
            sqlite3_bind_int64(addColumn.s, 8,
                               maxLengthFor(vornType ? vornType : kTypeVarchar, declared.c_str()));
            sqlite3_step(addColumn.s);
            rc = sqlite3_reset(addColumn.s);
        }
        sqlite3_reset(info.s);
    }
    if (rc != SQLITE_OK) {
        error = msg ? msg : sqlite3_errmsg(db_);
        sqlite3_free(msg);
        sqlite3_exec(db_, "ROLLBACK TO vorn_catalog; RELEASE vorn_catalog;", nullptr, nullptr, nullptr);
        catalogVersion_ = -1;
        return false;
    }
    sqlite3_exec(db_, "RELEASE vorn_catalog;", nullptr, nullptr, nullptr);
    // Inside a transaction of the client the refresh may be rolled back with
    // it, so it is not trusted beyond this statement.
    catalogVersion_ = autocommit ? version : -1;
    return true;
}

void Engine::describe(Cursor& c) {
    sqlite3_stmt* s = c.stmt;
    const int n = sqlite3_column_count(s);
    c.columns.clear();
    c.recompiles = sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0);
    for (int i = 0; i < n; ++i) {
        ColumnInfo col;
        const char* declared = sqlite3_column_decltype(s, i);
        col.type = typeForDeclared(declared);
        if (!col.type) {
            col.type = typeForStorageClass(c.pending ? sqlite3_column_type(s, i) : SQLITE_TEXT);
            c.recompiles = -1;
        }
        const char* label = sqlite3_column_name(s, i);
        const char* origin = sqlite3_column_origin_name(s, i);
        const char* table = sqlite3_column_table_name(s, i);
        const char* dbName = sqlite3_column_database_name(s, i);
        col.label = label ? label : "";
        col.name = origin ? origin : col.label;
        col.table = table ? table : "";
        if (origin && table) {
            int notNull = 0, pk = 0, autoinc = 0;
            if (sqlite3_table_column_metadata(db_, dbName, table, origin, nullptr, nullptr, &notNull, &pk,
                                              &autoinc) == SQLITE_OK)
                col.nullable = !notNull;
        }
        col.maxLength = maxLengthFor(col.type, declared);
        col.precision = isLongType(col.type) ? 0 : col.maxLength;
        c.columns.push_back(std::move(col));
    }
    c.head = resultSetHead(c.kind, c.columns);
}

std::string Engine::storeObject(const char* bytes, std::size_t count, bool text) {
    while (!objects_.empty() && objectBytes_ + count > options_.objectBudget) {
        objectBytes_ -= objects_.begin()->second.bytes.size();
        objects_.erase(objects_.begin());
    }
    StoredObject& o = objects_[++nextObject_];
    o.bytes.assign(bytes, count);
    o.text = text;
    objectBytes_ += count;
    return kObjectPrefix + std::to_string(nextObject_);
}

void Engine::releaseObjects(const HandedOut& range) {
    for (auto o = objects_.lower_bound(range.first); o != objects_.end() && o->first <= range.last;) {
        objectBytes_ -= o->second.bytes.size();
        o = objects_.erase(o);
    }
}

// The values of a query's last block outlive its cursor: the client reads
// them after the block. A few such blocks are kept, the oldest go first.
void Engine::orphanObjects(const HandedOut& range) {
    if (range.first == 0) return;
    orphans_.push_back(range);
    while (orphans_.size() > options_.maxCursors) {
        releaseObjects(orphans_.front());
        orphans_.pop_front();
    }
}

void Engine::writeRow(ResultSetWriter& w, Cursor& c, std::uint64_t rowNumber) {
    sqlite3_stmt* s = c.stmt;
    w.beginRow(rowNumber);
    for (int i = 0; i < static_cast<int>(c.columns.size()); ++i) {
        const int id = i + 1;
        const char* type = c.columns[static_cast<std::size_t>(i)].type;
        const int storage = sqlite3_column_type(s, i);
        if (storage == SQLITE_NULL) {
            w.nullValue(id);
            continue;
        }
        if (storage == SQLITE_BLOB) {
            const void* p = sqlite3_column_blob(s, i);
            const std::size_t n = static_cast<std::size_t>(sqlite3_column_bytes(s, i));
            if (isLongType(type) && n > options_.longThreshold)
                w.fetchKeyValue(id, storeObject(static_cast<const char*>(p), n, false));
            else
                w.binaryValue(id, p, n);
            continue;
        }
        if (storage == SQLITE_INTEGER) {
            // The same digits SQLite would make, without its conversion of
            // the value to a text value first.
            char digits[24];
            const char* end = std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(s, i)).ptr;
            w.plainValue(id, std::string_view(digits, static_cast<std::size_t>(end - digits)));
            continue;
        }
        char real[32];
        const std::string_view fast = storage == SQLITE_FLOAT ? realText(sqlite3_column_double(s, i), real) : "";
        if (!fast.empty()) {
            w.plainValue(id, fast);
            continue;
        }
        const std::string_view text = columnView(s, i);
        if (isLongType(type) && text.size() > options_.longThreshold) {
            const bool asText = type == kTypeLongVarchar && isValidUtf8(text);
            w.fetchKeyValue(id, storeObject(text.data(), text.size(), asText));
        } else {
            w.textValue(id, text);
        }
    }
    w.endRow();
}

CommandAnswer Engine::block(Cursor& c, std::uint64_t rows, std::uint64_t skip) {
    c.lastUse = ++useCounter_;
    // A forward-only client that asks for the next block of a query is done
    // with the rows of the last one, and so with their long values: they
    // go, so that memory is bounded by a block, not by all that was read.
    releaseObjects(c.objects);
    c.objects = HandedOut();
    const std::uint64_t firstObject = nextObject_ + 1;
    while (skip > 0 && c.pending) {
        ++c.consumed;
        --skip;
        c.advance();
    }
    ResultSetWriter w(c.head, rows_);
    std::uint64_t n = 0;
    while (n < rows && c.pending) {
        writeRow(w, c, c.consumed + 1);
        ++c.consumed;
        ++n;
        if (w.size() > options_.maxDocument)
            return fault(kStatusTooLarge, "execsql",
                         "the answer exceeds the document limit; ask for fewer rows per block");
        c.advance();
    }
    if (nextObject_ >= firstObject) c.objects = HandedOut{firstObject, nextObject_};
    if (c.error != SQLITE_OK) return sqlFault("execsql");
    CommandAnswer a;
    a.status = c.pending ? kStatusMoreRows : kStatusOk;
    a.result1 = static_cast<std::uint32_t>(n);
    w.head(c.pending ? -1 : static_cast<std::int64_t>(c.consumed), document_);
    a.pieces.push_back(document_);
    for (std::size_t i = 0; i < rows_.used; ++i) a.pieces.push_back(rows_.chunks[i]);
    a.pieces.push_back(ResultSetWriter::kEnd);
    return a;
}

void Engine::dropCursor(const std::string& key) { cursors_.erase(key); }

void Engine::dropAllCursors() { cursors_.clear(); }

void Engine::evictCursors() {
    while (cursors_.size() > options_.maxCursors) {
        auto oldest = cursors_.begin();
        for (auto it = cursors_.begin(); it != cursors_.end(); ++it)
            if (it->second->lastUse < oldest->second->lastUse) oldest = it;
        cursors_.erase(oldest);
    }
}

int Engine::stepWithRetry(sqlite3_stmt* stmt, bool writes) {
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_BUSY && writes && !cursors_.empty() && sqlite3_get_autocommit(db_)) {
        // Our own open queries keep a read snapshot older than another
        // session's write, and a write cannot start from it. Let them go
        // (a later block re-runs its query) and wait for the lock as usual.
        dropAllCursors();
        sqlite3_reset(stmt);
        rc = sqlite3_step(stmt);
    }
    return rc;
}

CommandAnswer Engine::runChange(sqlite3_stmt* stmt, const std::string& sql, const std::string& cacheKey) {
    Cursor owner;  // hands the statement back to the cache
    owner.stmt = stmt;
    owner.cache = statements_.get();
    owner.cacheKey = cacheKey;
    const bool readonly = sqlite3_stmt_readonly(stmt) != 0;
    int rc = stepWithRetry(stmt, !readonly);
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return sqlFault("execsql");
    const std::string kind = statementKind(sql);
    if (!readonly && kind == "SELECT") {
        // CREATE, DROP, ALTER and the like: statements prepared against the
        // old schema are not kept.
        owner.cache = nullptr;
        statements_->clear();
    }
    if (kind == "SELECT") {
        CommandAnswer a;
        a.data = successDocument("statement executed");
        return a;
    }
    ColumnInfo count;
    count.name = count.label = "ROWCOUNT";
    count.type = kTypeInteger;
    count.maxLength = count.precision = 10;
    count.nullable = false;
    const ResultSetHead head = resultSetHead(kind, {count});
    RowChunks rows;
    ResultSetWriter w(head, rows);
    w.beginRow(1);
    w.textValue(1, std::to_string(sqlite3_changes64(db_)));
    w.endRow();
    CommandAnswer a;
    a.result1 = 1;
    a.data = w.finish(1);
    return a;
}

CommandAnswer Engine::execsql(const std::string& rawSql, std::uint32_t rows, std::uint32_t blockNumber) {
    const std::string sql = withoutTrailingZeros(rawSql);
    if (!isValidUtf8(sql))
        return fault(kStatusBadText, "execsql", "the statement text is not valid UTF-8");
    if (sql.find('\0') != std::string::npos)
        return fault(kStatusBadText, "execsql", "the statement text holds a zero byte");

    const bool all = rows == kAllRows || rows == 0;
    const std::uint64_t perBlock = all ? std::numeric_limits<std::uint64_t>::max() : rows;
    const std::uint64_t number = blockNumber == 0 ? 1 : blockNumber;
    std::uint64_t skip = all ? 0 : (number - 1) * perBlock;

    if (!all && number > 1) {
        auto it = cursors_.find(sql);
        if (it != cursors_.end() && it->second->consumed == skip) {
            CommandAnswer a = block(*it->second, perBlock, 0);
            if (!(a.status & 1) || a.status == kStatusOk) dropCursor(sql);
            return a;
        }
    }

    const ObjectRewrite object = rewriteObjectClause(sql);
    if (object.found && !object.error.empty())
        return fault(kStatusBadRequest, "execsql", object.error);
    const std::string& text = object.found ? object.sql : sql;

    std::string error;
    if (mentionsCatalog(text) && !refreshCatalog(error))
        return sqliteFault(SQLITE_ERROR, "execsql", "cannot read the catalog: " + error);

    // A query: block 1, or a block that does not continue the open cursor,
    // starts from the beginning; its statement is reused.
    dropCursor(sql);
    LiftedQuery lifted;
    if (!object.found) lifted = liftLiterals(text);
    std::string key = lifted.values.empty() ? text : lifted.sql;
    Described described;
    sqlite3_stmt* stmt = statements_->take(key, &described);
    if (!stmt && !lifted.values.empty() && prepare(key, &stmt, error) != SQLITE_OK) {
        // A constant the grammar wants as written (a collation name, a type
        // size): the text goes as the client sent it.
        lifted.values.clear();
        key = text;
        stmt = statements_->take(key, &described);
    }
    if (!stmt) {
        const int rc = prepare(key, &stmt, error);
        if (rc != SQLITE_OK) return sqliteFault(rc, "execsql", error);
    }
    for (std::size_t i = 0; i < lifted.values.size(); ++i) {
        const LiftedLiteral& v = lifted.values[i];
        const int index = static_cast<int>(i + 1);
        if (v.text)
            sqlite3_bind_text(stmt, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_int64(stmt, index, v.number);
    }
    for (const ObjectValue& v : object.values) {
        const int index = sqlite3_bind_parameter_index(stmt, v.parameter.c_str());
        const int size = static_cast<int>(v.bytes.size());
        if (v.binary)
            sqlite3_bind_blob(stmt, index, v.bytes.data(), size, SQLITE_TRANSIENT);
        else
            sqlite3_bind_text(stmt, index, v.bytes.data(), size, SQLITE_TRANSIENT);
    }
    if (sqlite3_column_count(stmt) == 0) return runChange(stmt, sql, key);

    auto c = std::make_unique<Cursor>();
    c->stmt = stmt;
    c->cache = statements_.get();
    c->cacheKey = key;
    c->engine = this;
    c->kind = "SELECT";
    const bool readonly = sqlite3_stmt_readonly(stmt) != 0;
    std::uint64_t per = perBlock;
    if (!readonly) {
        // It changes data as it runs (RETURNING, some pragmas): run it once,
        // all rows in one answer, never again by re-running.
        per = std::numeric_limits<std::uint64_t>::max();
        skip = 0;
    }
    if (skip > 0) ++reruns_;
    const int first = stepWithRetry(stmt, !readonly);
    c->pending = first == SQLITE_ROW;
    c->done = first == SQLITE_DONE;
    if (first != SQLITE_ROW && first != SQLITE_DONE) return sqlFault("execsql");
    if (described.recompiles >= 0 &&
        described.recompiles == sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0)) {
        c->columns = std::move(described.columns);
        c->head = std::move(described.head);
        c->recompiles = described.recompiles;
    } else {
        describe(*c);
    }
    CommandAnswer a = block(*c, per, skip);
    if (a.status == kStatusMoreRows && per == perBlock && !all) {
        cursors_[sql] = std::move(c);
        evictCursors();
    }
    return a;
}

CommandAnswer Engine::getObject(const std::string& request) {
    std::string key;
    if (!requestValue(withoutTrailingZeros(request), "FETCHKEY", key))
        return fault(kStatusMalformed, "sqlgetobject", "expected FETCHKEY=<key>");
    const std::size_t prefix = sizeof kObjectPrefix - 1;
    std::uint64_t number = 0;
    bool ours = key.size() > prefix && key.size() <= prefix + 19 &&
                      key.compare(0, prefix, kObjectPrefix) == 0 &&
                      key.find_first_not_of("0123456789", prefix) == std::string::npos;
    if (ours) {
        number = std::stoull(key.substr(prefix));
        ours = key == kObjectPrefix + std::to_string(number);  // no leading zeros
    }
    auto it = ours ? objects_.find(number) : objects_.end();
    if (it == objects_.end()) {
        CommandAnswer a;
        a.status = kStatusUnknownFetchKey;
        a.message = "unknown or expired fetch key: " + key;
        return a;
    }
    if (it->second.bytes.size() > options_.maxDocument) {
        CommandAnswer a;
        a.status = kStatusTooLarge;
        a.message = "the object is too large for one answer";
        return a;
    }
    CommandAnswer a;
    a.pieces.push_back(it->second.bytes);
    a.text = it->second.text ? "TEXT\nUTF-8" : "STRING\n";
    a.result1 = 1;
    return a;
}

CommandAnswer Engine::getEncoding() {
    CommandAnswer a;
    a.data = propertyDocument("encoding", "UTF-8");
    return a;
}

CommandAnswer Engine::getTableDesc(const std::string& request) {
    std::string name;
    if (!requestValue(withoutTrailingZeros(request), "TABLENAME", name))
        return fault(kStatusMalformed, "sqlgettabledesc", "expected TABLENAME=<name>");
    std::string error;
    if (!refreshCatalog(error))
        return sqliteFault(SQLITE_ERROR, "sqlgettabledesc", "cannot read the catalog: " + error);
    Cursor c;
    c.kind = "SELECT";
    if (sqlite3_prepare_v2(db_,
                           "SELECT COLNAME, SQLTYPE, NULLABLE, PRIMARYKEY, DECLTYPE, POSITION "
                           "FROM VDBS.COLUMNS WHERE TABLENAME = ?1 ORDER BY POSITION",
                           -1, &c.stmt, nullptr) != SQLITE_OK)
        return sqlFault("sqlgettabledesc");
    sqlite3_bind_text(c.stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    c.advance();
    if (!c.pending) {
        if (c.error != SQLITE_OK) return sqlFault("sqlgettabledesc");
        return fault(kStatusBadRequest, "sqlgettabledesc", "no such table: " + name);
    }
    describe(c);
    return block(c, std::numeric_limits<std::uint64_t>::max(), 0);
}

void Engine::interrupt() { sqlite3_interrupt(db_); }

void Engine::setCancelCheck(int (*check)(void*), void* data) {
    // About every hundred thousand virtual machine steps: cheap, yet soon.
    sqlite3_progress_handler(db_, 100000, check, data);
}

bool Engine::runScript(const std::string& sql, std::string& error) {
    char* msg = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (rc == SQLITE_OK) return true;
    error = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
    return false;
}

}  // namespace vornd
