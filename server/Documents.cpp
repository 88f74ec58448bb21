#include "server/Documents.h"

#include "server/Codec.h"

namespace vornd {
namespace {

const char kProlog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

void attr(std::string& out, const char* name, const std::string& value) {
    out += ' ';
    out += name;
    out += "=\"";
    xmlAttributeAppend(out, value);
    out += '"';
}

void attr(std::string& out, const char* name, std::int64_t value) {
    attr(out, name, std::to_string(value));
}

void columnOpen(std::string& out, int id) {
    out += "<Column";
    attr(out, "ID", id);
}

}  // namespace

std::string faultDocument(std::int32_t code, const std::string& source,
                          const std::string& context, const std::string& message) {
    std::string d = kProlog;
    d += "<Fault";
    attr(d, "faultCode", code);
    attr(d, "faultSource", source);
    attr(d, "faultContext", context);
    d += '>';
    xmlTextAppend(d, message);
    d += "</Fault>\n";
    return d;
}

std::string successDocument(const std::string& message) {
    std::string d = kProlog;
    d += "<Success>";
    xmlTextAppend(d, message);
    d += "</Success>\n";
    return d;
}

std::string propertyDocument(const std::string& name, const std::string& value) {
    std::string d = kProlog;
    d += "<property";
    attr(d, "name", name);
    d += '>';
    xmlTextAppend(d, value);
    d += "</property>\n";
    return d;
}

ResultSetWriter::ResultSetWriter(std::string statementType, std::vector<ColumnInfo> columns)
    : statementType_(std::move(statementType)), columns_(std::move(columns)) {}

void ResultSetWriter::beginRow(std::uint64_t rowNumber) {
    rows_ += "<Row";
    attr(rows_, "rowNumber", static_cast<std::int64_t>(rowNumber));
    attr(rows_, "recordNumber", static_cast<std::int64_t>(rowNumber));
    rows_ += '>';
}

void ResultSetWriter::nullValue(int id) {
    columnOpen(rows_, id);
    rows_ += " null=\"true\"/>";
}

void ResultSetWriter::textValue(int id, const std::string& text) {
    if (!survivesAsCharacterData(text)) {
        binaryValue(id, text.data(), text.size());
        return;
    }
    columnOpen(rows_, id);
    if (text.empty()) {
        // An empty part marks an empty value, which is not a null one.
        rows_ += "><P/></Column>";
        return;
    }
    rows_ += '>';
    xmlTextAppend(rows_, text);
    rows_ += "</Column>";
}

void ResultSetWriter::binaryValue(int id, const void* bytes, std::size_t count) {
    columnOpen(rows_, id);
    rows_ += " encoding=\"base64\">";
    if (count == 0)
        rows_ += "<P/>";
    else
        base64Append(rows_, bytes, count);
    rows_ += "</Column>";
}

void ResultSetWriter::fetchKeyValue(int id, const std::string& key) {
    columnOpen(rows_, id);
    attr(rows_, "fetchKey", key);
    rows_ += "/>";
}

void ResultSetWriter::endRow() { rows_ += "</Row>\n"; }

std::string ResultSetWriter::finish(std::int64_t rowCount) const {
    std::string d = kProlog;
    d.reserve(d.size() + rows_.size() + 256 * (columns_.size() + 1));
    d += "<ResultSet>\n<ResultSetMetaData";
    attr(d, "columnCount", static_cast<std::int64_t>(columns_.size()));
    attr(d, "statementType", statementType_);
    if (rowCount >= 0) attr(d, "rowCount", rowCount);
    d += ">\n";
    int id = 1;
    for (const ColumnInfo& c : columns_) {
        d += "<ColumnMetaData";
        attr(d, "ID", id++);
        attr(d, "tableName", c.table);
        attr(d, "columnName", c.name);
        attr(d, "columnLabel", c.label);
        attr(d, "columnType", c.type ? c.type : "VARCHAR");
        attr(d, "precision", c.precision);
        attr(d, "maxLength", c.maxLength);
        attr(d, "isNullable", c.nullable ? "true" : "false");
        d += "/>\n";
    }
    d += "</ResultSetMetaData>\n<ResultSetData>\n";
    d += rows_;
    d += "</ResultSetData>\n</ResultSet>\n";
    return d;
}

}  // namespace vornd
