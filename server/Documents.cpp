#include "server/Documents.h"

#include "server/Codec.h"

#include <charconv>
#include <cstring>
#include <mutex>

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

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;
// A row starts a new chunk once less than this is left in the current one,
// so that a chunk is not reallocated (and copied) for the row that fills it.
constexpr std::size_t kRowRoom = 64 << 10;

constexpr std::string_view kColumnClose = "</Column>";

// Chunks of ended sessions, for the next ones: a session's first large
// block then writes into memory already mapped instead of faulting it in a
// page at a time. Kept for the process's life; at most kSpareMost of them.
struct SpareChunks {
    static constexpr std::size_t kSpareMost = 16;
    std::mutex lock;
    std::vector<std::string> chunks;
};
SpareChunks& spares() {
    static auto* s = new SpareChunks;
    return *s;
}

void addChunk(RowChunks& rows) {
    SpareChunks& s = spares();
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.chunks.empty()) {
            rows.chunks.push_back(std::move(s.chunks.back()));
            s.chunks.pop_back();
            return;
        }
    }
    rows.chunks.emplace_back().reserve(kChunkBytes);
}

}  // namespace

RowChunks::~RowChunks() {
    SpareChunks& s = spares();
    std::lock_guard<std::mutex> hold(s.lock);
    for (std::string& c : chunks) {
        if (s.chunks.size() >= SpareChunks::kSpareMost) break;
        // One that grew for a huge value is not kept.
        if (c.capacity() >= kChunkBytes && c.capacity() < 2 * kChunkBytes) s.chunks.push_back(std::move(c));
    }
}

ResultSetWriter::ResultSetWriter(const ResultSetHead& head, RowChunks& rows) : head_(head), rows_(rows) {
    if (rows_.chunks.empty()) addChunk(rows_);
    rows_.used = 1;
    rows_.full = 0;
    out_ = &rows_.chunks[0];
    out_->clear();
}

void ResultSetWriter::beginRow(std::uint64_t rowNumber) {
    // Rows are never cut between chunks.
    if (out_->size() > kChunkBytes - kRowRoom) {
        rows_.full += out_->size();
        if (rows_.used == rows_.chunks.size()) addChunk(rows_);
        out_ = &rows_.chunks[rows_.used++];
        out_->clear();
    }
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
    out_->append(tag, static_cast<std::size_t>(p - tag));
}

void ResultSetWriter::nullValue(int id) {
    columnOpen(*out_, id);
    *out_ += " null=\"true\"/>";
}

void ResultSetWriter::textValue(int id, std::string_view text) {
    const bool plain = isPlainText(text);
    if (!plain && !survivesAsCharacterData(text)) {
        binaryValue(id, text.data(), text.size());
        return;
    }
    if (text.empty()) {
        columnOpen(*out_, id);
        // An empty part marks an empty value, which is not a null one.
        *out_ += "><P/></Column>";
        return;
    }
    if (plain && id >= 0 && id < ColumnTags::kCount) return plainValue(id, text);
    if (id >= 0 && id < ColumnTags::kCount)
        *out_ += kColumnTags.open[id];
    else
        (columnOpen(*out_, id), *out_ += '>');
    if (plain)
        *out_ += text;
    else
        xmlTextAppend(*out_, text);
    *out_ += kColumnClose;
}

void ResultSetWriter::plainValue(int id, std::string_view text) {
    if (id < 0 || id >= ColumnTags::kCount) return textValue(id, text);
    out_->append(kColumnTags.open[id]).append(text).append(kColumnClose);
}

void ResultSetWriter::binaryValue(int id, const void* bytes, std::size_t count) {
    columnOpen(*out_, id);
    *out_ += " encoding=\"base64\">";
    if (count == 0)
        *out_ += "<P/>";
    else
        base64Append(*out_, bytes, count);
    *out_ += kColumnClose;
}

void ResultSetWriter::fetchKeyValue(int id, const std::string& key) {
    columnOpen(*out_, id);
    attr(*out_, "fetchKey", key);
    *out_ += "/>";
}

void ResultSetWriter::endRow() { *out_ += "</Row>\n"; }

void ResultSetWriter::head(std::int64_t rowCount, std::string& d) const {
    d.assign(head_.beforeCount);
    if (rowCount >= 0) attr(d, "rowCount", rowCount);
    d += head_.afterCount;
}

std::string ResultSetWriter::finish(std::int64_t rowCount) const {
    std::string d;
    head(rowCount, d);
    d.reserve(d.size() + size() + kEnd.size());
    for (std::size_t i = 0; i < rows_.used; ++i) d += rows_.chunks[i];
    d += kEnd;
    return d;
}

}  // namespace vornd
