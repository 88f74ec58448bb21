// The answer documents of the server: a result set with its metadata and
// rows, a fault, a success and a single property.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornd {

struct ColumnInfo {
    std::string table;
    std::string name;   // the column's own name where it comes from a table
    std::string label;  // the name the statement gives it
    const char* type = nullptr;  // one of the names in TypeMap.h
    unsigned precision = 0;
    unsigned maxLength = 0;
    bool nullable = true;
};

std::string faultDocument(std::int32_t code, const std::string& source,
                          const std::string& context, const std::string& message);
std::string successDocument(const std::string& message);
std::string propertyDocument(const std::string& name, const std::string& value);

// Builds a "ResultSet" document. Rows are written as they come; the metadata
// goes in front when the document is finished, so that the row count can be
// given once it is known.
// The part of a "ResultSet" document in front of its rows, cut where the row
// count goes: the same for every block of a query, so written once.
struct ResultSetHead {
    std::string beforeCount;
    std::string afterCount;
};
ResultSetHead resultSetHead(std::string_view statementType, const std::vector<ColumnInfo>& columns);

// The rows of a block, in chunks of about a mebibyte that are never joined:
// a block of every row can be tens of megabytes, which a growing string
// would copy again at each doubling. Kept from block to block so that the
// chunks' memory is reused, and handed on to later sessions when it ends.
struct RowChunks {
    RowChunks() = default;
    RowChunks(const RowChunks&) = delete;
    RowChunks& operator=(const RowChunks&) = delete;
    ~RowChunks();

    std::vector<std::string> chunks;
    std::size_t used = 0;   // chunks of this block; the rest are spares
    std::size_t full = 0;   // bytes in the chunks before the last used one
};

class ResultSetWriter {
public:
    // The rows go into `rows` (emptied first); `head` must outlive the writer.
    ResultSetWriter(const ResultSetHead& head, RowChunks& rows);

    void beginRow(std::uint64_t rowNumber);
    void nullValue(int id);
    void textValue(int id, std::string_view text);  // base64 when XML cannot carry it
    // A text known to need no escape and not to be empty or blank (a
    // number's digits, or a text found plain): no scan.
    void plainValue(int id, std::string_view text);
    void binaryValue(int id, const void* bytes, std::size_t count);
    void fetchKeyValue(int id, const std::string& key);
    void endRow();

    std::size_t size() const { return rows_.full + out_->size(); }
    // rowCount < 0: unknown, left out. The document is head(), the rows and
    // kEnd; head() replaces what `out` held, keeping its memory.
    void head(std::int64_t rowCount, std::string& out) const;
    static constexpr std::string_view kEnd = "</ResultSetData>\n</ResultSet>\n";
    std::string finish(std::int64_t rowCount) const;

private:
    const ResultSetHead& head_;
    RowChunks& rows_;
    std::string* out_;  // the chunk being written
};

}  // namespace vornd
