#include "driver/stmt/resultxml.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <new>
#include <random>

#include <expat.h>

#include "driver/stmt/resultset.h"
#include "log/VfxLogger.h"
#include "platform/platform.h"
#include "util/Base64.h"

namespace {

// What a slot of the parser's stack stands for.
enum FrameKind : unsigned char {
    kFrameIgnored,   // a Column outside a Row, a P outside a value
    kFrameRow,
    kFrameColumn,
    kFramePart,
    kFrameProperty,
};

// A well-formed answer opens at most three of these at once (Row, Column,
// P); anything deeper is ignored so that a hostile document cannot make the
// stack grow with it.
constexpr int kMaxFrames = ParserContext::kMaxFrames;

// The descriptor count is 16-bit, so more columns could never be described.
constexpr int kMaxColumns = SHRT_MAX;

ParserContext* contextOf(void* userData) { return static_cast<ParserContext*>(userData); }

// Decimal number the C-library way (no digits gives 0), clamped to 32 bits.
std::int32_t toNumber(const char* s) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

bool isTrue(const char* s) {
    static const char kTrue[] = "true";
    for (int i = 0; i < 4; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != kTrue[i]) return false;
    }
    return s[4] == '\0';
}

bool equalsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
        if (!x) return true;
    }
}

// Copies at most size-1 bytes, cutting before a partial UTF-8 sequence.
void copyCut(char* dest, std::size_t size, const char* src) {
    std::size_t n = 0;
    while (n < size && src[n]) ++n;
    if (n >= size) {
        n = size - 1;
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

char* duplicate(const char* src) {
    std::size_t n = std::strlen(src);
    char* copy = static_cast<char*>(plat::heapAlloc(n + 1));
    if (copy) std::memcpy(copy, src, n);
    return copy;
}

void replaceText(char*& field, char* text) {
    plat::heapFree(field);
    field = text;
}

void failMemory(ParserContext* ctx) { ctx->outOfMemory = true; }

// The elements and attributes the driver reads. Names are found in these
// tables by their first character before any comparison, and an
// element's attributes are sorted into slots in one pass.
enum Element { kElMetaData, kElColumnMetaData, kElRow, kElColumn, kElPart, kElFault, kElSuccess, kElProperty, kElOther };

enum Attr {
    kAtColumnCount, kAtRowCount, kAtStatementType, kAtTableName, kAtColumnName, kAtColumnLabel, kAtColumnType,
    kAtId, kAtPrecision, kAtMaxLength, kAtIsNullable, kAtRowNumber, kAtRecordNumber, kAtPartNumber, kAtNull,
    kAtFetchKey, kAtEncoding, kAtFaultCode, kAtFaultSource, kAtFaultContext, kAttrCount
};

struct NameRow {
    const char* name;
    int id;
};

#define VORN_NAME(text, id) {text, id}
const NameRow kElementNames[] = {
    VORN_NAME("Row", kElRow), VORN_NAME("Column", kElColumn), VORN_NAME("P", kElPart),
    VORN_NAME("ResultSetMetaData", kElMetaData), VORN_NAME("ColumnMetaData", kElColumnMetaData),
    VORN_NAME("Fault", kElFault), VORN_NAME("Success", kElSuccess), VORN_NAME("property", kElProperty),
};
const NameRow kAttrNames[] = {
    VORN_NAME("ID", kAtId), VORN_NAME("null", kAtNull), VORN_NAME("fetchKey", kAtFetchKey),
    VORN_NAME("encoding", kAtEncoding), VORN_NAME("rowNumber", kAtRowNumber),
    VORN_NAME("recordNumber", kAtRecordNumber), VORN_NAME("partNumber", kAtPartNumber),
    VORN_NAME("columnCount", kAtColumnCount), VORN_NAME("rowCount", kAtRowCount),
    VORN_NAME("statementType", kAtStatementType), VORN_NAME("tableName", kAtTableName),
    VORN_NAME("columnName", kAtColumnName), VORN_NAME("columnLabel", kAtColumnLabel),
    VORN_NAME("columnType", kAtColumnType), VORN_NAME("precision", kAtPrecision),
    VORN_NAME("maxLength", kAtMaxLength), VORN_NAME("isNullable", kAtIsNullable),
    VORN_NAME("faultCode", kAtFaultCode), VORN_NAME("faultSource", kAtFaultSource),
    VORN_NAME("faultContext", kAtFaultContext),
};
#undef VORN_NAME

template <std::size_t N>
int findName(const NameRow (&table)[N], const char* name, int none) {
    const char first = name[0];
    if (!first) return none;
    for (const NameRow& row : table) {
        if (row.name[0] == first && std::strcmp(name + 1, row.name + 1) == 0) return row.id;
    }
    return none;
}

// An element's attribute values by slot; null for those it does not have.
// Expat refuses a repeated attribute, so each slot is set at most once.
struct Attributes {
    const char* value[kAttrCount] = {};
    explicit Attributes(const XML_Char** atts) {
        for (int i = 0; atts[i]; i += 2) {
            int slot = findName(kAttrNames, atts[i], kAttrCount);
            if (slot < kAttrCount) value[slot] = atts[i + 1];
        }
    }
    const char* operator[](Attr a) const { return value[a]; }
};

// Stops the parse: the document does not fit what was asked.
void refuse(ParserContext* ctx, const char* format, long long a = 0, long long b = 0) {
    if (ctx->refused) return;
    ctx->refused = true;
    std::snprintf(ctx->refusal, sizeof ctx->refusal, format, a, b);
    XML_StopParser(static_cast<XML_Parser>(ctx->parser), XML_FALSE);
}

// Counts what a stored record or text costs; false (and the parse refused)
// once the result would cost more than the limit allows.
bool charge(ParserContext* ctx, std::uint64_t bytes) {
    // Each heap block carries the allocator's own header as well.
    ctx->stored += bytes + 16;
    if (ctx->limits.maxStoredBytes && ctx->stored > ctx->limits.maxStoredBytes) {
        refuse(ctx, "The answer needs more memory than its size allows (over %lld bytes)",
               static_cast<long long>(ctx->limits.maxStoredBytes));
        return false;
    }
    return true;
}

// Base64 as the server writes it: the alphabet, then at most two '=' at the
// end; line breaks and blanks anywhere.
bool isBase64(const char* text, std::uint32_t length) {
    std::uint32_t digits = 0, pad = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            if (++pad > 2) return false;
            continue;
        }
        bool digit = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!digit || pad) return false;
        ++digits;
    }
    return (digits + pad) % 4 == 0 || (pad == 0 && digits % 4 != 1);
}

// Replaces a heap text field by a copy of value (when there is one); false
// when the heap refuses.
bool copyAttribute(char*& field, const char* value) {
    if (!value) return true;
    char* copy = duplicate(value);
    if (!copy) return false;
    replaceText(field, copy);
    return true;
}

// Copies value (when there is one) into a fixed field, cut to fit.
template <std::size_t N>
void cutAttribute(char (&field)[N], const char* value) {
    if (value) copyCut(field, N, value);
}

// ---------------------------------------------------------------------------
// Collected character data.

bool appendText(ParserContext* ctx, const char* bytes, std::size_t n) {
    std::size_t need = std::size_t(ctx->textLength) + n + 1;
    if (need > UINT32_MAX) return false;
    if (need > ctx->textCapacity) {
        // Exact at first: most values arrive in one chunk and keep the block.
        std::size_t cap = ctx->text ? std::max(need, std::size_t(ctx->textCapacity) * 2) : need;
        if (cap > UINT32_MAX) cap = UINT32_MAX;
        void* grown = ctx->text ? plat::heapRealloc(ctx->text, cap) : plat::heapAlloc(cap);
        if (!grown) return false;
        ctx->text = static_cast<char*>(grown);
        ctx->textCapacity = static_cast<std::uint32_t>(cap);
    }
    std::memcpy(ctx->text + ctx->textLength, bytes, n);
    ctx->textLength += static_cast<std::uint32_t>(n);
    ctx->text[ctx->textLength] = '\0';
    return true;
}

// Moves the collected text out of the context; null when there is none.
char* takeText(ParserContext* ctx, std::uint32_t* length) {
    if (ctx->textLength == 0) {
        // A buffer kept for reuse holds nothing.
        *length = 0;
        return nullptr;
    }
    char* text = ctx->text;
    *length = ctx->textLength;
    ctx->text = nullptr;
    ctx->textLength = 0;
    ctx->textCapacity = 0;
    return text;
}

void dropText(ParserContext* ctx) {
    std::uint32_t length;
    plat::heapFree(takeText(ctx, &length));
}

void XMLCALL onCharacters(void* userData, const XML_Char* chunk, int len) {
    ParserContext* ctx = contextOf(userData);
    if (ctx->outOfMemory || ctx->refused || len <= 0) return;
    bool blank = true, ascii = true;
    for (int i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(chunk[i]);
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') blank = false;
        if (c >= 0x80) ascii = false;
    }
    if (blank) return;
    bool ok;
    if (ascii) {
        ok = appendText(ctx, chunk, std::size_t(len));
    } else {
        try {
            std::string converted = plat::utf8ToInternal(chunk, std::size_t(len));
            ok = appendText(ctx, converted.data(), converted.size());
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) failMemory(ctx);
}

// ---------------------------------------------------------------------------
// The stack of open elements.

bool atDepthLimit(ParserContext* ctx) { return ctx->stack.getCount() >= kMaxFrames; }

void pushFrame(ParserContext* ctx, FrameKind kind, void* record) {
    int depth = ctx->stack.getCount();
    if (depth >= kMaxFrames) {
        ++ctx->overflow;
        return;
    }
    if (!ctx->stack.push(record)) {
        failMemory(ctx);
        return;
    }
    ctx->kinds[depth] = kind;
}

// The innermost open record when it is of the given kind, else null.
void* topOf(ParserContext* ctx, FrameKind kind) {
    int depth = ctx->stack.getCount();
    if (depth < 1 || ctx->kinds[depth - 1] != kind) return nullptr;
    return ctx->stack.top();
}

// Pops the frame of an ending Row, Column, P or property element. Returns
// false when that element was beyond the depth limit (it pushed nothing).
bool popFrame(ParserContext* ctx, FrameKind* kind, void** record) {
    if (ctx->overflow > 0) {
        --ctx->overflow;
        return false;
    }
    int depth = ctx->stack.getCount();
    if (depth < 1) return false;  // its start failed for want of memory
    *kind = static_cast<FrameKind>(ctx->kinds[depth - 1]);
    *record = ctx->stack.pop();
    return true;
}

// ---------------------------------------------------------------------------
// Elements.

void startMetaData(ParserContext* ctx, const Attributes& atts) {
    ResultSet* rs = ctx->resultSet;
    rs->rowCount = -1;
    if (const char* v = atts[kAtColumnCount]) rs->columnCount = toNumber(v);
    if (const char* v = atts[kAtRowCount]) rs->rowCount = toNumber(v);
    cutAttribute(rs->statementType, atts[kAtStatementType]);
}

void startColumnMetaData(ParserContext* ctx, const Attributes& atts) {
    if (ctx->resultSet->columns.getCount() >= kMaxColumns)
        return refuse(ctx, "The answer describes more than the %lld columns a result can have",
                      static_cast<long long>(kMaxColumns));
    if (!charge(ctx, sizeof(ColumnMetaData) + sizeof(void*))) return;
    ColumnMetaData* col = appendColumn(ctx->resultSet);
    if (!col) return failMemory(ctx);
    cutAttribute(col->tableName, atts[kAtTableName]);
    cutAttribute(col->columnName, atts[kAtColumnName]);
    cutAttribute(col->columnLabel, atts[kAtColumnLabel]);
    if (const char* v = atts[kAtColumnType]) {
        copyCut(col->columnType, sizeof col->columnType, v);
        col->sqlType = typeNameToSqlType(col->columnType);
    }
    if (const char* v = atts[kAtId]) col->id = toNumber(v);
    if (const char* v = atts[kAtPrecision]) col->precision = static_cast<std::uint32_t>(toNumber(v));
    if (const char* v = atts[kAtMaxLength]) col->maxLength = static_cast<std::uint32_t>(toNumber(v));
    if (const char* v = atts[kAtIsNullable]) col->isNullable = isTrue(v) ? 1 : 0;
}

void startRow(ParserContext* ctx, const Attributes& atts) {
    if (atDepthLimit(ctx)) {
        ++ctx->overflow;
        return;
    }
    ResultSet* rs = ctx->resultSet;
    const std::int64_t rows = rs->rows.getCount();
    if (ctx->limits.maxRows >= 0 && rows >= ctx->limits.maxRows)
        return refuse(ctx, "The answer holds more rows than the %lld asked for",
                      static_cast<long long>(ctx->limits.maxRows));
    if (!charge(ctx, sizeof(Row) + sizeof(void*))) return;
    // The value slots come with the first value: an empty row costs no more.
    Row* row = appendArenaRow(rs, 0);
    if (!row) return failMemory(ctx);
    if (const char* v = atts[kAtRowNumber]) row->rowNumber = toNumber(v);
    if (const char* v = atts[kAtRecordNumber]) row->recordNumber = toNumber(v);
    if (const char* v = atts[kAtPartNumber]) row->partNumber = toNumber(v);
    pushFrame(ctx, kFrameRow, row);
}

void startColumn(ParserContext* ctx, const Attributes& atts) {
    Row* row = static_cast<Row*>(topOf(ctx, kFrameRow));
    if (!row || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    const int described = ctx->resultSet->columns.getCount();
    if (ctx->limits.valuesWithinColumns && row->values.getCount() >= described)
        return refuse(ctx, "A row of the answer holds more values than the %lld columns it describes",
                      static_cast<long long>(described));
    const char* fetchKey = atts[kAtFetchKey];
    if (!charge(ctx, sizeof(ColumnValue) + sizeof(void*) + (fetchKey ? std::strlen(fetchKey) + 17 : 0))) return;
    if (row->values.getCount() == 0 && described > 1) {
        // One slot per described column at once, so that the row never
        // grows further; at most 64 ahead of values that may never come.
        const std::int32_t slots = std::min(described, 64);
        if (!charge(ctx, sizeof(void*) * std::uint64_t(slots))) return;
        reserveValueSlots(row, slots);
    }
    ColumnValue* value = appendArenaValue(ctx->resultSet, row);
    if (!value) return failMemory(ctx);
    if (const char* v = atts[kAtId]) value->id = toNumber(v);
    if (const char* v = atts[kAtNull]) value->isNull = isTrue(v) ? 1 : 0;
    if (!copyAttribute(value->fetchKey, fetchKey)) return failMemory(ctx);
    cutAttribute(value->encoding, atts[kAtEncoding]);
    pushFrame(ctx, kFrameColumn, value);
}

void startPart(ParserContext* ctx) {
    auto* value = static_cast<ColumnValue*>(topOf(ctx, kFrameColumn));
    if (!value) value = static_cast<ColumnValue*>(topOf(ctx, kFrameProperty));
    if (!value || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    if (!charge(ctx, sizeof(ValuePart) + sizeof(void*))) return;
    ValuePart* part = appendPart(value);
    if (!part) return failMemory(ctx);
    pushFrame(ctx, kFramePart, part);
}

void startFault(ParserContext* ctx, const Attributes& atts) {
    ParseStatus* status = ctx->status;
    if (const char* v = atts[kAtFaultCode]) status->code = toNumber(v);
    if (!copyAttribute(status->faultSource, atts[kAtFaultSource]) ||
        !copyAttribute(status->faultContext, atts[kAtFaultContext]))
        return failMemory(ctx);
}

void startProperty(ParserContext* ctx, const XML_Char** atts) {
    if (atDepthLimit(ctx)) {
        ++ctx->overflow;
        return;
    }
    ResultSet* rs = ctx->resultSet;
    if (rs->columns.getCount() >= kMaxColumns)
        return refuse(ctx, "The answer describes more than the %lld columns a result can have",
                      static_cast<long long>(kMaxColumns));
    if (!charge(ctx, sizeof(ColumnMetaData) + sizeof(Row) + sizeof(ColumnValue) + 64)) return;
    ColumnMetaData* col = appendColumn(rs);
    Row* row = col ? appendRow(rs) : nullptr;
    ColumnValue* value = row ? appendValue(row) : nullptr;
    if (!value) {
        // Keep the end of the element paired with a frame.
        pushFrame(ctx, kFrameIgnored, nullptr);
        return failMemory(ctx);
    }
    copyCut(rs->statementType, sizeof rs->statementType, "SELECT");
    rs->columnCount = 1;
    rs->rowCount = 1;
    copyCut(col->tableName, sizeof col->tableName, "PROPERTY");
    if (atts[0] && equalsNoCase(atts[0], "name")) copyCut(col->columnName, sizeof col->columnName, atts[1]);
    col->id = 1;
    copyCut(col->columnType, sizeof col->columnType, "VARCHAR");
    col->sqlType = SQL_VARCHAR;
    col->maxLength = 255;
    row->rowNumber = 1;
    value->id = 1;
    pushFrame(ctx, kFrameProperty, value);
}

void XMLCALL onStart(void* userData, const XML_Char* name, const XML_Char** atts) {
    ParserContext* ctx = contextOf(userData);
    if (ctx->outOfMemory || ctx->refused) return;
    switch (findName(kElementNames, name, kElOther)) {
    case kElMetaData: return startMetaData(ctx, Attributes(atts));
    case kElColumnMetaData: return startColumnMetaData(ctx, Attributes(atts));
    case kElRow: return startRow(ctx, Attributes(atts));
    case kElColumn: return startColumn(ctx, Attributes(atts));
    case kElPart: return startPart(ctx);
    case kElFault: return startFault(ctx, Attributes(atts));
    case kElProperty: return startProperty(ctx, atts);
    default: return;
    }
}

// Values up to this size are copied into the arena; a larger one keeps the
// block it was collected in, so that it is never held twice.
constexpr std::uint32_t kArenaValueMost = 16 * 1024;

// The value-text rules applied at the end of a Column.
void finishValue(ParserContext* ctx, ColumnValue* value) {
    if (ctx->textLength > 0 && ctx->textLength <= kArenaValueMost && !value->encoding[0]) {
        // The common case: the collected text is copied and its buffer kept
        // for the next value.
        const std::uint32_t length = ctx->textLength;
        if (!charge(ctx, std::uint64_t(length) + 1)) return;
        char* copy = arenaText(ctx->resultSet, ctx->text, length);
        if (!copy) return failMemory(ctx);
        value->data = copy;
        value->length = length;
        value->dataInArena = 1;
        ctx->textLength = 0;
        ctx->text[0] = '\0';
        return;
    }
    std::uint32_t length;
    char* text = takeText(ctx, &length);
    if (text && value->encoding[0]) {
        if (!isBase64(text, length)) {
            plat::heapFree(text);
            return refuse(ctx, "A value of the answer is not valid base64");
        }
        unsigned char* decoded = nullptr;
        int n = Base64Decode(text, static_cast<int>(length), &decoded);
        plat::heapFree(text);
        if (!decoded) return failMemory(ctx);
        value->data = reinterpret_cast<char*>(decoded);
        value->length = static_cast<std::uint32_t>(n < 0 ? 0 : n);
        charge(ctx, value->length + 1);
    } else if (text) {
        value->data = text;
        value->length = length;
        charge(ctx, std::uint64_t(length) + 1);
    } else if (value->parts.getCount() > 0) {
        auto* part = static_cast<ValuePart*>(value->parts.getAt(0));
        if (!charge(ctx, std::uint64_t(part->length) + 1)) return;
        char* copy = static_cast<char*>(plat::heapAlloc(std::size_t(part->length) + 1));
        if (!copy) return failMemory(ctx);
        if (part->text) std::memcpy(copy, part->text, part->length);
        value->data = copy;
        value->length = part->length;
    }
}

void XMLCALL onEnd(void* userData, const XML_Char* name) {
    ParserContext* ctx = contextOf(userData);
    if (ctx->outOfMemory || ctx->refused) return;
    FrameKind kind = kFrameIgnored;
    void* record = nullptr;
    switch (findName(kElementNames, name, kElOther)) {
    case kElFault:
    case kElSuccess: {
        std::uint32_t length;
        replaceText(ctx->status->message, takeText(ctx, &length));
        return;
    }
    case kElRow: popFrame(ctx, &kind, &record); return;
    case kElColumn:
    case kElPart:
    case kElProperty: break;
    default: return;
    }
    if (!popFrame(ctx, &kind, &record)) return dropText(ctx);
    if (kind == kFrameColumn) {
        finishValue(ctx, static_cast<ColumnValue*>(record));
    } else if (kind == kFramePart) {
        auto* part = static_cast<ValuePart*>(record);
        part->text = takeText(ctx, &part->length);
        if (!part->text && !(part->text = duplicate(""))) return failMemory(ctx);
        charge(ctx, std::uint64_t(part->length) + 1);
    } else if (kind == kFrameProperty) {
        auto* value = static_cast<ColumnValue*>(record);
        value->data = takeText(ctx, &value->length);
        charge(ctx, std::uint64_t(value->length) + 1);
    } else {
        // A misplaced element: its text belongs to nothing.
        dropText(ctx);
    }
}

char* copyOfErrorText(XML_Error code) {
    const XML_LChar* text = XML_ErrorString(code);
    return duplicate(text ? text : "");
}

// Expat takes int lengths; a longer document goes in several calls.
bool parseAll(XML_Parser parser, const char* document, std::size_t length) {
    constexpr std::size_t kSlice = std::size_t(1) << 30;
    do {
        std::size_t n = length < kSlice ? length : kSlice;
        bool last = n == length;
        if (XML_Parse(parser, document, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
            return false;
        document += n;
        length -= n;
    } while (length > 0);
    return true;
}

}  // namespace

struct AnswerParser {
    XML_Parser parser = nullptr;
    bool used = false;  // parsed a document since it was made or reset
    // Drawn once per parser: a reset forgets the salt, and Expat would ask
    // the system for a new one before every document.
    unsigned long salt = 0;
};

ParseStatus::ParseStatus(ParseStatus&& other) noexcept
    : code(other.code), faultSource(other.faultSource), faultContext(other.faultContext), message(other.message),
      refused(other.refused) {
    other.faultSource = other.faultContext = other.message = nullptr;
}

ParseStatus& ParseStatus::operator=(ParseStatus&& other) noexcept {
    if (this != &other) {
        replaceText(faultSource, other.faultSource);
        replaceText(faultContext, other.faultContext);
        replaceText(message, other.message);
        code = other.code;
        refused = other.refused;
        other.faultSource = other.faultContext = other.message = nullptr;
    }
    return *this;
}

ParseStatus::~ParseStatus() {
    plat::heapFree(faultSource);
    plat::heapFree(faultContext);
    plat::heapFree(message);
}

AnswerParser* newAnswerParser() {
    AnswerParser* p = plat::heapNew<AnswerParser>();
    if (p && !(p->parser = XML_ParserCreate(nullptr))) {
        plat::heapDelete(p);
        return nullptr;
    }
    if (p) {
        std::random_device seed;
        p->salt = (static_cast<unsigned long>(seed()) << 1) | 1;  // 0 would mean "draw one"
    }
    return p;
}

void freeAnswerParser(AnswerParser* parser) {
    if (!parser) return;
    XML_ParserFree(parser->parser);
    plat::heapDelete(parser);
}

ParseStatus parseXml(const char* document, std::size_t length, ResultSet** resultSetPtr) {
    return parseAnswer(nullptr, document, length, resultSetPtr, AnswerLimits());
}

ParseStatus parseAnswer(AnswerParser* kept, const char* document, std::size_t length, ResultSet** resultSetPtr,
                        const AnswerLimits& limits) {
    ParseStatus status;
    ParserContext ctx{};
    ctx.status = &status;
    ctx.limits = limits;

    if (!*resultSetPtr) {
        driverLog().Debug("parseXml", "Allocates result");
        *resultSetPtr = newResultSet();
    }
    ctx.resultSet = *resultSetPtr;
    // A kept parser is reset rather than made anew: a new one costs a
    // random seed from the system and a heap of its own.
    XML_Parser parser = nullptr;
    if (ctx.resultSet) {
        if (!kept) {
            parser = XML_ParserCreate(nullptr);
        } else if (!kept->used || XML_ParserReset(kept->parser, nullptr)) {
            parser = kept->parser;
            kept->used = true;
            XML_SetHashSalt(parser, kept->salt);
        }
    }
    if (!parser) {
        status.code = -1;
        status.message = copyOfErrorText(XML_ERROR_NO_MEMORY);
        return status;
    }
    ctx.parser = parser;
    XML_SetUserData(parser, &ctx);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);

    bool parsed = parseAll(parser, document ? document : "", document ? length : 0);
    if (ctx.refused) {
        status.code = -2;
        status.refused = 1;
        replaceText(status.message, duplicate(ctx.refusal));
        driverLog().Debug("parseXml", "Refused: %s", ctx.refusal);
    } else if (ctx.outOfMemory || (!parsed && XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY)) {
        // Expat's own code for this is 1, which would read as success.
        status.code = -1;
        replaceText(status.message, copyOfErrorText(XML_ERROR_NO_MEMORY));
    } else if (!parsed) {
        XML_Error code = XML_GetErrorCode(parser);
        status.code = static_cast<std::int32_t>(code);
        replaceText(status.message, copyOfErrorText(code));
        driverLog().Debug("parseXml", "Error %s", status.message ? status.message : "");
    }
    if (!kept) XML_ParserFree(parser);

    // Readers index columns up to columnCount: never let it name columns the
    // document did not describe.
    ResultSet* rs = ctx.resultSet;
    if (rs->columnCount < 0 || rs->columnCount > rs->columns.getCount()) rs->columnCount = rs->columns.getCount();

    ctx.stack.release();
    plat::heapFree(ctx.text);
    return status;
}
