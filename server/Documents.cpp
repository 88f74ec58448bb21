#include "server/Documents.h"

#include "server/Codec.h"

#include <charconv>
#include <cstring>

namespace vornd {
namespace {

const char kProlog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

void attr(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    xmlAttributeAppend(out, value);
    out += '"';
}

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

// Digits never need escaping.
void attr(std::string& out, const char* name, std::int64_t value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendNumber(out, value);
    out += '"';
}

void columnOpen(std::string& out, int id) {
    out += "<Column ID=\"";
    appendNumber(out, id);
    out += '"';
}

// "<Column ID="n">" for the usual column numbers, made once: every value of
// a block starts with one.
struct ColumnTags {
    static constexpr int kCount = 128;
    std::string open[kCount];
    ColumnTags() {
        for (int id = 0; id < kCount; ++id) {
            columnOpen(open[id], id);
            open[id] += '>';
        }
    }
};
const ColumnTags kColumnTags;

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

ResultSetHead resultSetHead(std::string_view statementType, const std::vector<ColumnInfo>& columns) {
    ResultSetHead h;
    std::string& d = h.beforeCount;
    d.reserve(256 * (columns.size() + 1));
    d = kProlog;
    d += "<ResultSet>\n<ResultSetMetaData";
    attr(d, "columnCount", static_cast<std::int64_t>(columns.size()));
    attr(d, "statementType", statementType);
    std::string& e = h.afterCount;
    e = ">\n";
    int id = 1;
    for (const ColumnInfo& c : columns) {
        e += "<ColumnMetaData";
        attr(e, "ID", id++);
        attr(e, "tableName", c.table);
        attr(e, "columnName", c.name);
        attr(e, "columnLabel", c.label);
        attr(e, "columnType", c.type ? c.type : "VARCHAR");
        attr(e, "precision", c.precision);
        attr(e, "maxLength", c.maxLength);
        attr(e, "isNullable", c.nullable ? "true" : "false");
        e += "/>\n";
    }
    e += "</ResultSetMetaData>\n<ResultSetData>\n";
    return h;
}

ResultSetWriter::ResultSetWriter(const ResultSetHead& head, std::string& rows) : head_(head), rows_(rows) {
    rows_.clear();
}

void ResultSetWriter::beginRow(std::uint64_t rowNumber) {
    // Both numbers in one append.
    char tag[80] = "<Row rowNumber=\"";
    char* p = tag + 16;
    char* const digits = p;
    p = std::to_chars(p, tag + 40, rowNumber).ptr;
    const std::size_t n = static_cast<std::size_t>(p - digits);
    std::memcpy(p, "\" recordNumber=\"", 16);
    p += 16;
    std::memcpy(p, digits, n);
    p += n;
    *p++ = '"';
    *p++ = '>';
    rows_.append(tag, static_cast<std::size_t>(p - tag));
}

void ResultSetWriter::nullValue(int id) {
    columnOpen(rows_, id);
    rows_ += " null=\"true\"/>";
}

void ResultSetWriter::textValue(int id, std::string_view text) {
    const bool plain = isPlainText(text);
    if (!plain && !survivesAsCharacterData(text)) {
        binaryValue(id, text.data(), text.size());
        return;
    }
    if (text.empty()) {
        columnOpen(rows_, id);
        // An empty part marks an empty value, which is not a null one.
        rows_ += "><P/></Column>";
        return;
    }
    static constexpr char kClose[] = "</Column>";
    if (plain && id >= 0 && id < ColumnTags::kCount) {
        // The common value: tag, text and close in one copy.
        const std::string& tag = kColumnTags.open[id];
        const std::size_t at = rows_.size();
        rows_.resize(at + tag.size() + text.size() + sizeof kClose - 1);
        char* p = &rows_[at];
        std::memcpy(p, tag.data(), tag.size());
        std::memcpy(p + tag.size(), text.data(), text.size());
        std::memcpy(p + tag.size() + text.size(), kClose, sizeof kClose - 1);
        return;
    }
    if (id >= 0 && id < ColumnTags::kCount)
        rows_ += kColumnTags.open[id];
    else
        (columnOpen(rows_, id), rows_ += '>');
    if (plain)
        rows_ += text;
    else
        xmlTextAppend(rows_, text);
    rows_ += kClose;
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

void ResultSetWriter::finish(std::int64_t rowCount, std::string& d) const {
    d.reserve(head_.beforeCount.size() + head_.afterCount.size() + rows_.size() + 64);
    d.assign(head_.beforeCount);
    if (rowCount >= 0) attr(d, "rowCount", rowCount);
    d += head_.afterCount;
    d += rows_;
    d += "</ResultSetData>\n</ResultSet>\n";
}

std::string ResultSetWriter::finish(std::int64_t rowCount) const {
    std::string d;
    finish(rowCount, d);
    return d;
}

}  // namespace vornd
