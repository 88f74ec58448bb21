// The answer documents of the server: a result set with its metadata and
// rows, a fault, a success and a single property.
#pragma once

#include <cstdint>
#include <string>
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
class ResultSetWriter {
public:
    ResultSetWriter(std::string statementType, std::vector<ColumnInfo> columns);

    void beginRow(std::uint64_t rowNumber);
    void nullValue(int id);
    void textValue(int id, const std::string& text);  // base64 when XML cannot carry it
    void binaryValue(int id, const void* bytes, std::size_t count);
    void fetchKeyValue(int id, const std::string& key);
    void endRow();

    std::size_t size() const { return rows_.size(); }
    // rowCount < 0: unknown, left out.
    std::string finish(std::int64_t rowCount) const;

private:
    std::string statementType_;
    std::vector<ColumnInfo> columns_;
    std::string rows_;
};

}  // namespace vornd
