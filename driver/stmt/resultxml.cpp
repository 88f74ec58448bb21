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
    // Up to nine plain digits, the usual case, need no library call.
    std::int32_t quick = 0;
    int digits = 0;
    while (digits < 9 && s[digits] >= '0' && s[digits] <= '9') quick = quick * 10 + (s[digits++] - '0');
    if (digits > 0 && s[digits] == '\0') return quick;
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
enum Element {
    kElMetaData, kElColumnMetaData, kElRow, kElColumn, kElPart, kElFault, kElSuccess, kElProperty, kElRows, kElOther
};

enum Attr {
    kAtColumnCount, kAtRowCount, kAtStatementType, kAtTableName, kAtColumnName, kAtColumnLabel, kAtColumnType,
    kAtId, kAtPrecision, kAtMaxLength, kAtIsNullable, kAtRowNumber, kAtRecordNumber, kAtPartNumber, kAtNull,
    kAtFetchKey, kAtEncoding, kAtFaultCode, kAtFaultSource, kAtFaultContext, kAttrCount
};

struct NameRow {
    const char* name;
    std::size_t length;
    int id;
};

#define VORN_NAME(text, id) {text, sizeof text - 1, id}
const NameRow kElementNames[] = {
    VORN_NAME("Row", kElRow), VORN_NAME("Column", kElColumn), VORN_NAME("P", kElPart),
    VORN_NAME("ResultSetMetaData", kElMetaData), VORN_NAME("ColumnMetaData", kElColumnMetaData),
    VORN_NAME("Fault", kElFault), VORN_NAME("Success", kElSuccess), VORN_NAME("property", kElProperty),
    VORN_NAME("ResultSetData", kElRows),
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
    const std::size_t length = std::strlen(name);
    for (const NameRow& row : table) {
        if (row.length == length && row.name[0] == first && std::memcmp(name + 1, row.name + 1, length - 1) == 0)
            return row.id;
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

// What a heap block costs beyond its bytes: the allocator's own header.
constexpr std::uint64_t kHeapBlockCost = 16;

// Counts what a stored record or text costs; false (and the parse refused)
// once the result would cost more than the limit allows.
bool charge(ParserContext* ctx, std::uint64_t bytes) {
    ctx->stored += bytes;
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

void dropText(ParserContext* ctx) { ctx->textLength = 0; }

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
    if (!charge(ctx, sizeof(ColumnMetaData) + sizeof(void*) + kHeapBlockCost)) return;
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

// ---------------------------------------------------------------------------
// Records of the rows, made alike by the Expat handlers and by the row
// scanner, so that both store (and charge) exactly the same.

// Values up to this size are copied into the arena; a larger one collected
// by Expat keeps the block it was collected in, so that it is never held
// twice.
constexpr std::uint32_t kArenaValueMost = 16 * 1024;

// What a stored text of n bytes is charged, wherever it is kept.
std::uint64_t textCost(std::uint64_t n) { return n + 1 + (n > kArenaValueMost ? kHeapBlockCost : 0); }

// A new row, or null (the parse then stopped or failed).
Row* beginRow(ParserContext* ctx, std::int32_t rowNumber, std::int32_t recordNumber, std::int32_t partNumber) {
    ResultSet* rs = ctx->resultSet;
    const std::int64_t rows = rs->rows.getCount();
    if (ctx->limits.maxRows >= 0 && rows >= ctx->limits.maxRows) {
        refuse(ctx, "The answer holds more rows than the %lld asked for", static_cast<long long>(ctx->limits.maxRows));
        return nullptr;
    }
    if (!charge(ctx, sizeof(Row) + sizeof(void*))) return nullptr;
    // The value slots come with the first value: an empty row costs no more.
    Row* row = appendRow(rs, 0);
    if (!row) {
        failMemory(ctx);
        return nullptr;
    }
    row->rowNumber = rowNumber;
    row->recordNumber = recordNumber;
    row->partNumber = partNumber;
    return row;
}

// A new value of the row, or null (the parse then stopped or failed).
ColumnValue* beginValue(ParserContext* ctx, Row* row, bool isNull, bool base64, const char* fetchKey,
                        std::size_t keyLength) {
    ResultSet* rs = ctx->resultSet;
    const int described = rs->columns.getCount();
    if (ctx->limits.valuesWithinColumns && row->valueCount >= described) {
        refuse(ctx, "A row of the answer holds more values than the %lld columns it describes",
               static_cast<long long>(described));
        return nullptr;
    }
    if (row->valueCount == row->valueCapacity) {
        // One slot per described column at once, so that the row never
        // grows further; at most 64 ahead of values that may never come.
        const std::int32_t slots =
            row->valueCount ? row->valueCount * 2 : std::max(1, std::min(described, 64));
        if (row->valueCount >= INT32_MAX / 2) {
            failMemory(ctx);
            return nullptr;
        }
        if (!charge(ctx, valueSlotsCost(slots))) return nullptr;
        if (!reserveValueSlots(rs, row, slots)) {
            failMemory(ctx);
            return nullptr;
        }
    }
    if (fetchKey && !charge(ctx, keyLength + 1 + kHeapBlockCost)) return nullptr;
    ColumnValue* value = appendValue(rs, row);
    char* key = nullptr;
    if (!value || (fetchKey && !(key = static_cast<char*>(plat::heapAlloc(keyLength + 1))))) {
        failMemory(ctx);
        return nullptr;
    }
    if (key) std::memcpy(key, fetchKey, keyLength);
    value->fetchKey = key;
    value->isNull = isNull ? 1 : 0;
    value->base64 = base64 ? 1 : 0;
    return value;
}

// The text of a P element of the value: the first one is the value's data
// unless the value gets text of its own.
void endPart(ParserContext* ctx, ColumnValue* value, const char* text, std::uint32_t length) {
    if (!charge(ctx, textCost(length))) return;
    if (value->hasPart) return;
    char* copy = arenaText(ctx->resultSet, text, length);
    if (!copy) return failMemory(ctx);
    value->data = copy;
    value->length = length;
    value->dataInArena = 1;
    value->hasPart = 1;
}

// The value's text at its end. taken: a heap block of the collected text,
// given to the value when it is kept as it is, else released.
void endValue(ParserContext* ctx, ColumnValue* value, const char* text, std::uint32_t length, char* taken = nullptr) {
    if (length == 0) {
        plat::heapFree(taken);
        return;  // the first part's text, when there was one, stays
    }
    if (value->base64) {
        if (!isBase64(text, length)) {
            plat::heapFree(taken);
            return refuse(ctx, "A value of the answer is not valid base64");
        }
        unsigned char* decoded = nullptr;
        int n = Base64Decode(text, static_cast<int>(length), &decoded);
        plat::heapFree(taken);
        if (!decoded) return failMemory(ctx);
        if (!value->dataInArena) plat::heapFree(value->data);
        value->data = reinterpret_cast<char*>(decoded);
        value->length = static_cast<std::uint32_t>(n < 0 ? 0 : n);
        value->dataInArena = 0;
        charge(ctx, value->length + 1 + kHeapBlockCost);
        return;
    }
    if (!charge(ctx, textCost(length))) {
        plat::heapFree(taken);
        return;
    }
    char* data = taken;
    if (!data && !(data = arenaText(ctx->resultSet, text, length))) return failMemory(ctx);
    value->data = data;
    value->length = length;
    value->dataInArena = taken ? 0 : 1;
}

// Whether a value's text lies in a document read in place.
bool inDocument(const ParserContext* ctx, const char* text, std::uint32_t length) {
    return ctx->inPlace && length > 0 && text >= ctx->inPlace && text + length < ctx->inPlaceEnd;
}

// A plain value scanned in the document itself is not copied: it points
// where it is, the '<' of its end tag overwritten with its terminator.
void keepInPlace(ParserContext* ctx, ColumnValue* value, const char* text, std::uint32_t length) {
    if (!charge(ctx, textCost(length))) return;
    char* data = ctx->inPlace + (text - ctx->inPlace);
    data[length] = '\0';
    value->data = data;
    value->length = length;
    value->dataInArena = 1;
    ++ctx->inPlaceValues;
}

// Puts back what keepInPlace overwrote, before Expat reads the document.
void restoreInPlace(ParserContext* ctx) {
    if (!ctx->inPlaceValues) return;
    const PtrList& rows = ctx->resultSet->rows;
    for (int r = 0; r < rows.getCount(); ++r) {
        const Row* row = static_cast<const Row*>(rows.getAt(r));
        for (int i = 0; i < row->valueCount; ++i) {
            ColumnValue& v = row->values[i];
            if (inDocument(ctx, v.data, v.length)) v.data[v.length] = '<';
        }
    }
    ctx->inPlaceValues = 0;
}

// ---------------------------------------------------------------------------
// Expat's handlers.

void startRow(ParserContext* ctx, const Attributes& atts) {
    if (atDepthLimit(ctx)) {
        ++ctx->overflow;
        return;
    }
    auto number = [&](Attr a) { return atts[a] ? toNumber(atts[a]) : 0; };
    if (Row* row = beginRow(ctx, number(kAtRowNumber), number(kAtRecordNumber), number(kAtPartNumber)))
        pushFrame(ctx, kFrameRow, row);
}

void startColumn(ParserContext* ctx, const Attributes& atts) {
    Row* row = static_cast<Row*>(topOf(ctx, kFrameRow));
    if (!row || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    const char* key = atts[kAtFetchKey];
    const char* encoding = atts[kAtEncoding];
    const char* null = atts[kAtNull];
    ColumnValue* value = beginValue(ctx, row, null && isTrue(null), encoding && encoding[0], key,
                                    key ? std::strlen(key) : 0);
    if (value) pushFrame(ctx, kFrameColumn, value);
}

void startPart(ParserContext* ctx) {
    auto* value = static_cast<ColumnValue*>(topOf(ctx, kFrameColumn));
    if (!value) value = static_cast<ColumnValue*>(topOf(ctx, kFrameProperty));
    if (!value || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    pushFrame(ctx, kFramePart, value);
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
    Row* row = col ? appendRow(rs, 1) : nullptr;
    ColumnValue* value = row ? appendValue(rs, row) : nullptr;
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
    case kElRows: ctx->rowsElementAt = XML_GetCurrentByteIndex(static_cast<XML_Parser>(ctx->parser)); return;
    default: return;
    }
}

// Ends a value with the collected text: a long one keeps its block.
void endCollectedValue(ParserContext* ctx, ColumnValue* value) {
    if (ctx->textLength > kArenaValueMost && !value->base64) {
        std::uint32_t length;
        char* text = takeText(ctx, &length);
        return endValue(ctx, value, text, length, text);
    }
    endValue(ctx, value, ctx->text, ctx->textLength);
    ctx->textLength = 0;
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
        endCollectedValue(ctx, static_cast<ColumnValue*>(record));
    } else if (kind == kFramePart) {
        endPart(ctx, static_cast<ColumnValue*>(record), ctx->text ? ctx->text : "", ctx->textLength);
        ctx->textLength = 0;
    } else if (kind == kFrameProperty) {
        auto* value = static_cast<ColumnValue*>(record);
        if (!value->dataInArena) plat::heapFree(value->data);
        value->data = takeText(ctx, &value->length);
        value->dataInArena = 0;
        charge(ctx, std::uint64_t(value->length) + 1 + kHeapBlockCost);
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
bool parseAll(XML_Parser parser, const char* document, std::size_t length, bool last = true) {
    constexpr std::size_t kSlice = std::size_t(1) << 30;
    do {
        std::size_t n = length < kSlice ? length : kSlice;
        bool final = last && n == length;
        if (XML_Parse(parser, document, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
            return false;
        document += n;
        length -= n;
    } while (length > 0);
    return true;
}

// ---------------------------------------------------------------------------
// The row scanner: the rows of a result in exactly the form the server
// writes them, read without Expat (whose cost per byte was most of a
// fetch). It accepts only what Expat would read the same way: the elements
// and attributes below, ASCII or valid UTF-8 text, the five predefined
// entity references; anything else sends the document back to Expat.

enum class Scan { Done, Bail, Stopped };

struct Scanner {
    const char* p;
    const char* end;

    // The literals are short: compared eight bytes at a time in line
    // rather than by a call.
    bool take(const char* literal, std::size_t n) {
        if (std::size_t(end - p) < n) return false;
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t a, b;
            std::memcpy(&a, p + i, 8);
            std::memcpy(&b, literal + i, 8);
            if (a != b) return false;
        }
        for (; i < n; ++i)
            if (p[i] != literal[i]) return false;
        p += n;
        return true;
    }
    template <std::size_t N>
    bool take(const char (&literal)[N]) {
        return take(literal, N - 1);
    }
    // Blanks between elements: Expat hands them over as blank text, which
    // is dropped.
    void skipBlanks() {
        while (p < end && (*p == ' ' || *p == '\n')) ++p;
    }
    // 1 to 9 digits and the closing quote: a number that needs no clamping.
    bool number(std::int32_t& out) {
        std::int32_t v = 0;
        int digits = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (++digits > 9) return false;
            v = v * 10 + (*p++ - '0');
        }
        if (!digits || p == end || *p != '"') return false;
        ++p;
        out = v;
        return true;
    }
};

// Length of a UTF-8 sequence Expat accepts as character data at s (lead
// byte >= 0x80), or 0.
int utf8Length(const unsigned char* s, const unsigned char* end) {
    const unsigned char c = s[0];
    auto trail = [&](int i, unsigned char lo, unsigned char hi) { return s + i < end && s[i] >= lo && s[i] <= hi; };
    if (c >= 0xC2 && c <= 0xDF) return trail(1, 0x80, 0xBF) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        if (!trail(1, lo, hi) || !trail(2, 0x80, 0xBF)) return 0;
        // U+FFFE and U+FFFF are not characters.
        if (c == 0xEF && s[1] == 0xBF && s[2] >= 0xBE) return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return trail(1, lo, hi) && trail(2, 0x80, 0xBF) && trail(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// ASCII bytes that stand for themselves in character data, blank aside.
struct TextBytes {
    bool plain[256];
    constexpr TextBytes() : plain() {
        for (int c = 0x21; c < 0x7F; ++c) plain[c] = c != '<' && c != '&' && c != ']';
    }
};
constexpr TextBytes kTextByte;

struct EntityRow {
    const char* text;
    std::size_t length;
    char value;
};
const EntityRow kEntities[] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
};

const EntityRow* entityAt(const char* p, const char* end) {
    for (const EntityRow& e : kEntities)
        if (std::size_t(end - p) >= e.length && std::memcmp(p, e.text, e.length) == 0) return &e;
    return nullptr;
}

// Character data up to the next '<', as Expat's handler would collect it:
// references replaced, and each run between references that holds only
// blanks dropped (Expat hands each run over alone). *text is the document's
// own bytes when nothing changes, else the context's text buffer. False for
// anything outside the canonical form.
bool scanText(ParserContext* ctx, Scanner& in, const char** text, std::uint32_t* length) {
    const char* start = in.p;
    bool changed = false, runBlank = true;
    const bool utf8 = plat::internalIsUtf8();
    const char* p = in.p;
    while (p < in.end) {
        // Plain characters other than the blank, the bulk of any text.
        while (p < in.end && kTextByte.plain[static_cast<unsigned char>(*p)]) {
            ++p;
            runBlank = false;
        }
        if (p == in.end) break;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '<') break;
        if (c == ' ') {
            ++p;
        } else if (c >= 0x80) {
            const int n = utf8 ? utf8Length(reinterpret_cast<const unsigned char*>(p),
                                            reinterpret_cast<const unsigned char*>(in.end))
                               : 0;
            if (!n) return false;
            p += n;
            runBlank = false;
        } else if (c == '&') {
            const EntityRow* e = entityAt(p, in.end);
            if (!e) return false;
            changed = true;
            p += e->length;
        } else if (c == ']' && !(in.end - p >= 3 && p[1] == ']' && p[2] == '>')) {
            ++p;
            runBlank = false;
        } else {
            return false;  // control characters, DEL, "]]>"
        }
    }
    in.p = p;
    if (!changed) {
        *text = start;
        *length = runBlank ? 0 : std::uint32_t(p - start);
        return p - start < INT32_MAX;
    }
    // Again, building the text: a run is kept once known not blank.
    ctx->textLength = 0;
    const char* run = start;
    for (const char* q = start; q <= p; ++q) {
        if (q < p && *q != '&') continue;
        bool blank = true;
        for (const char* r = run; r < q && blank; ++r) blank = *r == ' ';
        if (!blank && !appendText(ctx, run, std::size_t(q - run))) return failMemory(ctx), false;
        if (q == p) break;
        const EntityRow* e = entityAt(q, p);
        if (!appendText(ctx, &e->value, 1)) return failMemory(ctx), false;
        q += e->length - 1;
        run = q + 1;
    }
    *text = ctx->text ? ctx->text : "";
    *length = ctx->textLength;
    ctx->textLength = 0;
    return true;
}

// A fetch key needs no reference and no normalising.
bool plainKey(const char* p, const char* end) {
    for (; p < end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c <= 0x20 || c >= 0x7F || c == '&' || c == '<') return false;
    }
    return true;
}

// One value, from just after its ID's number.
Scan scanValue(ParserContext* ctx, Scanner& in, Row* row) {
    if (in.take("/>")) return beginValue(ctx, row, false, false, nullptr, 0) ? Scan::Done : Scan::Stopped;
    if (in.take(" null=\"true\"/>")) return beginValue(ctx, row, true, false, nullptr, 0) ? Scan::Done : Scan::Stopped;
    if (in.take(" fetchKey=\"")) {
        const char* key = in.p;
        const void* quote = std::memchr(key, '"', std::size_t(in.end - key));
        if (!quote) return Scan::Bail;
        const char* keyEnd = static_cast<const char*>(quote);
        if (!plainKey(key, keyEnd)) return Scan::Bail;
        in.p = keyEnd + 1;
        if (!in.take("/>")) return Scan::Bail;
        return beginValue(ctx, row, false, false, key, std::size_t(keyEnd - key)) ? Scan::Done : Scan::Stopped;
    }
    const bool base64 = in.take(" encoding=\"base64\">");
    if (!base64 && !in.take(">")) return Scan::Bail;
    // The form is checked before anything is stored: a bail leaves nothing
    // half made that Expat would make otherwise.
    const char* text = nullptr;
    std::uint32_t length = 0;
    const bool part = in.take("<P/>");
    if (!part && !scanText(ctx, in, &text, &length)) return ctx->outOfMemory ? Scan::Stopped : Scan::Bail;
    if (!in.take("</Column>")) return Scan::Bail;
    ColumnValue* value = beginValue(ctx, row, false, base64, nullptr, 0);
    if (!value) return Scan::Stopped;
    if (part)
        endPart(ctx, value, "", 0);
    else if (!base64 && inDocument(ctx, text, length))
        keepInPlace(ctx, value, text, length);
    else
        endValue(ctx, value, text, length);
    return ctx->refused || ctx->outOfMemory ? Scan::Stopped : Scan::Done;
}

// Rows up to the end of the rows' element; on Done in.p is at that end tag.
Scan scanRows(ParserContext* ctx, Scanner& in) {
    for (;;) {
        in.skipBlanks();
        if (std::size_t(in.end - in.p) >= 16 && std::memcmp(in.p, "</ResultSetData>", 16) == 0) return Scan::Done;
        std::int32_t rowNumber, recordNumber;
        if (!in.take("<Row rowNumber=\"") || !in.number(rowNumber) || !in.take(" recordNumber=\"") ||
            !in.number(recordNumber) || !in.take(">"))
            return Scan::Bail;
        Row* row = beginRow(ctx, rowNumber, recordNumber, 0);
        if (!row) return Scan::Stopped;
        for (;;) {
            in.skipBlanks();
            if (in.take("</Row>")) break;
            std::int32_t id;
            if (!in.take("<Column ID=\"") || !in.number(id)) return Scan::Bail;
            const Scan s = scanValue(ctx, in, row);
            if (s != Scan::Done) return s;
        }
    }
}

// The document's start as the server writes it: nothing before the rows
// that could make Expat read them otherwise (a document type, comments,
// processing instructions, another encoding). The start of the rows, or null.
const char* rowsStart(const char* document, std::size_t length) {
    static const char kProlog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    static const char kRows[] = "<ResultSetData>";
    const std::size_t prolog = sizeof kProlog - 1;
    if (length < prolog || std::memcmp(document, kProlog, prolog) != 0) return nullptr;
    const char* end = document + length;
    for (const char* p = document + prolog; p < end;) {
        const void* lt = std::memchr(p, '<', std::size_t(end - p));
        if (!lt) return nullptr;
        p = static_cast<const char*>(lt) + 1;
        if (p < end && (*p == '!' || *p == '?')) return nullptr;
        if (std::size_t(end - p) >= sizeof kRows - 2 && std::memcmp(p, kRows + 1, sizeof kRows - 2) == 0)
            return p + sizeof kRows - 2;
    }
    return nullptr;
}

}  // namespace

// What the head of a result (everything up to its rows) gave Expat, kept
// so that the next block with the very same head and end skips Expat: the
// metadata is most of what Expat reads in a block of few rows.
struct KnownHead {
    char* bytes = nullptr;  // the head, then the document's end after the rows
    std::size_t headLength = 0;
    std::size_t tailLength = 0;
    ColumnMetaData* columns = nullptr;
    int columnCount = 0;  // records in columns
    char statementType[kStatementTypeSize] = {};
    std::int32_t rowCount = -1;
    std::int32_t describedCount = 0;  // the metadata's columnCount
    std::uint64_t stored = 0;         // what the head was charged
};

struct AnswerParser {
    XML_Parser parser = nullptr;
    bool used = false;  // parsed a document since it was made or reset
    // Drawn once per parser: a reset forgets the salt, and Expat would ask
    // the system for a new one before every document.
    unsigned long salt = 0;
    KnownHead known;
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
    plat::heapFree(parser->known.bytes);
    plat::heapFree(parser->known.columns);
    plat::heapDelete(parser);
}

ParseStatus parseXml(const char* document, std::size_t length, ResultSet** resultSetPtr) {
    return parseAnswer(nullptr, document, length, resultSetPtr, AnswerLimits());
}

namespace {

void startParser(XML_Parser parser, ParserContext* ctx, unsigned long salt) {
    if (salt) XML_SetHashSalt(parser, salt);
    XML_SetUserData(parser, ctx);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);
}

bool isFresh(const ResultSet* rs) {
    return rs->columns.getCount() == 0 && rs->rows.getCount() == 0 && !rs->arena && !rs->document &&
           rs->columnCount == 0 && rs->rowCount == -1 && !rs->statementType[0];
}

enum class Parsed { Whole, Failed, Untouched, Again };

// Where a scanned document's head ended and its rows did, when the head
// left nothing behind but metadata (no rows, no open element, no text).
struct HeadMark {
    const char* rows = nullptr;
    const char* tail = nullptr;
    std::uint64_t stored = 0;
};

// Expat up to the rows, the scanner over them, Expat after them. Untouched:
// not a result in the server's form, nothing read yet. Again: the same
// found later, and what was stored must be forgotten before Expat reads the
// document whole.
Parsed parseScanned(XML_Parser parser, ParserContext* ctx, const char* document, std::size_t length, HeadMark* mark) {
    const char* rows = rowsStart(document, length);
    if (!rows) return Parsed::Untouched;
    const std::size_t head = std::size_t(rows - document);
    if (!parseAll(parser, document, head, false)) return ctx->refused || ctx->outOfMemory ? Parsed::Failed : Parsed::Again;
    // Expat must have read the tag found as a start tag (not, say, inside a
    // literal it still waits to see the end of).
    const std::int64_t tagAt = std::int64_t(head) - std::int64_t(sizeof "<ResultSetData>" - 1);
    if (ctx->rowsElementAt != tagAt) return Parsed::Again;
    const bool clean = ctx->stack.getCount() == 0 && ctx->overflow == 0 && ctx->textLength == 0;
    Scanner in{rows, document + length};
    if (clean && !ctx->refused && !ctx->outOfMemory) {
        const bool onlyMetadata = ctx->resultSet->rows.getCount() == 0;
        const std::uint64_t headStored = ctx->stored;
        switch (scanRows(ctx, in)) {
        case Scan::Done: break;
        case Scan::Stopped: return Parsed::Failed;
        case Scan::Bail: return Parsed::Again;
        }
        if (onlyMetadata) *mark = HeadMark{rows, in.p, headStored};
    }
    // Text or open elements before the rows: Expat reads on from there.
    return parseAll(parser, in.p, std::size_t(in.end - in.p)) ? Parsed::Whole : Parsed::Failed;
}

// The end of a document after its rows when it is end tags and blanks
// only: it stores nothing, and whether Expat takes it depends on the head
// alone.
bool onlyEndTags(const char* p, const char* end) {
    while (p < end) {
        if (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') {
            ++p;
            continue;
        }
        if (end - p < 2 || p[0] != '<' || p[1] != '/') return false;
        p += 2;
        const char* name = p;
        while (p < end && ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9'))) ++p;
        if (p == name || p == end || *p != '>') return false;
        ++p;
    }
    return true;
}

// A head kept costs its bytes and its columns; beyond this, blocks go
// through Expat each time.
constexpr std::size_t kKnownHeadMost = 64 * 1024;

// Keeps the head and end of a document read whole without a fault, for the
// next block.
void rememberHead(KnownHead& known, const ResultSet* rs, const char* document, std::size_t length,
                  const HeadMark& mark) {
    const std::size_t head = std::size_t(mark.rows - document), tail = std::size_t(document + length - mark.tail);
    if (head + tail > kKnownHeadMost || !onlyEndTags(mark.tail, document + length)) return;
    const int n = rs->columns.getCount();
    char* bytes = static_cast<char*>(plat::heapAlloc(head + tail));
    auto* columns = n ? static_cast<ColumnMetaData*>(plat::heapAlloc(sizeof(ColumnMetaData) * std::size_t(n))) : nullptr;
    if (!bytes || (n && !columns)) {
        plat::heapFree(bytes);
        plat::heapFree(columns);
        return;
    }
    plat::heapFree(known.bytes);
    plat::heapFree(known.columns);
    std::memcpy(bytes, document, head);
    std::memcpy(bytes + head, mark.tail, tail);
    for (int c = 0; c < n; ++c) std::memcpy(&columns[c], resultColumn(rs, c), sizeof(ColumnMetaData));
    known.bytes = bytes;
    known.headLength = head;
    known.tailLength = tail;
    known.columns = columns;
    known.columnCount = n;
    std::memcpy(known.statementType, rs->statementType, sizeof known.statementType);
    known.rowCount = rs->rowCount;
    known.describedCount = rs->columnCount;
    known.stored = mark.stored;
}

// A block with the known head and end: its metadata copied, its rows
// scanned, no Expat at all. Untouched: not such a block, nothing stored.
// Again: found not to be one after something was stored.
Parsed parseKnown(const KnownHead& known, ParserContext* ctx, const char* document, std::size_t length) {
    if (!known.bytes || length < known.headLength + known.tailLength ||
        std::memcmp(document, known.bytes, known.headLength) != 0)
        return Parsed::Untouched;
    // A limit the head alone breaks: Expat says where.
    if (ctx->limits.maxStoredBytes && known.stored > ctx->limits.maxStoredBytes) return Parsed::Untouched;
    ResultSet* rs = ctx->resultSet;
    for (int c = 0; c < known.columnCount; ++c) {
        ColumnMetaData* col = appendColumn(rs);
        if (!col) return failMemory(ctx), Parsed::Failed;
        std::memcpy(col, &known.columns[c], sizeof *col);
    }
    std::memcpy(rs->statementType, known.statementType, sizeof rs->statementType);
    rs->rowCount = known.rowCount;
    rs->columnCount = known.describedCount;
    ctx->stored = known.stored;
    Scanner in{document + known.headLength, document + length};
    switch (scanRows(ctx, in)) {
    case Scan::Done: break;
    case Scan::Stopped: return Parsed::Failed;
    case Scan::Bail: return Parsed::Again;
    }
    const bool sameEnd = std::size_t(in.end - in.p) == known.tailLength &&
                         std::memcmp(in.p, known.bytes + known.headLength, known.tailLength) == 0;
    return sameEnd ? Parsed::Whole : Parsed::Again;
}

// Back to the state before the document, the parser aside.
void forgetDocument(ParserContext* ctx, ParseStatus* status) {
    restoreInPlace(ctx);
    clearResultSet(ctx->resultSet);
    *status = ParseStatus();
    ctx->stack.release();
    ctx->stack = PtrStack();
    ctx->overflow = 0;
    ctx->textLength = 0;
    ctx->stored = 0;
}

// parseAnswer, with the document's block when values may be read in place.
ParseStatus parseDocument(AnswerParser* kept, const char* document, std::size_t length, ResultSet** resultSetPtr,
                          const AnswerLimits& limits, RowReading reading, char* inPlace) {
    ParseStatus status;
    ParserContext ctx{};
    ctx.status = &status;
    ctx.limits = limits;
    ctx.rowsElementAt = -1;
    if (!document) length = 0;
    if (!document) document = "";
    ctx.inPlace = inPlace;
    ctx.inPlaceEnd = inPlace ? inPlace + length : nullptr;

    if (!*resultSetPtr) *resultSetPtr = newResultSet();
    ctx.resultSet = *resultSetPtr;
    if (!ctx.resultSet) {
        status.code = -1;
        status.message = copyOfErrorText(XML_ERROR_NO_MEMORY);
        return status;
    }
    const bool scanned = reading == RowReading::Scanned && isFresh(ctx.resultSet);
    Parsed outcome = Parsed::Untouched;
    if (kept && scanned) {
        ctx.parser = kept->parser;  // a refusal stops it: harmless, it is reset before its next document
        outcome = parseKnown(kept->known, &ctx, document, length);
        if (outcome == Parsed::Again) {
            forgetDocument(&ctx, &status);
            outcome = Parsed::Untouched;
        }
    }
    bool parsed = outcome == Parsed::Whole;
    XML_Parser parser = nullptr;
    if (outcome == Parsed::Untouched) {
        // A kept parser is reset rather than made anew: a new one costs a
        // random seed from the system and a heap of its own.
        if (!kept) {
            parser = XML_ParserCreate(nullptr);
        } else if (!kept->used || XML_ParserReset(kept->parser, nullptr)) {
            parser = kept->parser;
            kept->used = true;
        }
        const unsigned long salt = kept ? kept->salt : 0;
        if (parser) {
            ctx.parser = parser;
            startParser(parser, &ctx, salt);
        }
        HeadMark mark;
        if (parser && scanned) {
            outcome = parseScanned(parser, &ctx, document, length, &mark);
            if (outcome == Parsed::Again) {
                forgetDocument(&ctx, &status);
                if (XML_ParserReset(parser, nullptr)) {
                    startParser(parser, &ctx, salt);
                } else {
                    if (!kept) XML_ParserFree(parser);
                    parser = nullptr;
                }
            }
        }
        if (!parser) {
            ctx.stack.release();
            status.code = -1;
            status.message = copyOfErrorText(XML_ERROR_NO_MEMORY);
            plat::heapFree(ctx.text);
            return status;
        }
        parsed = outcome == Parsed::Whole;
        if (outcome == Parsed::Again || outcome == Parsed::Untouched) parsed = parseAll(parser, document, length);
        else if (parsed && kept && mark.tail && !ctx.refused && !ctx.outOfMemory && status.code == 1 &&
                 !status.message && !status.faultSource && !status.faultContext)
            rememberHead(kept->known, ctx.resultSet, document, length, mark);
    }
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
    if (!kept && parser) XML_ParserFree(parser);

    // Readers index columns up to columnCount: never let it name columns the
    // document did not describe.
    ResultSet* rs = ctx.resultSet;
    if (rs->columnCount < 0 || rs->columnCount > rs->columns.getCount()) rs->columnCount = rs->columns.getCount();
    if (ctx.inPlaceValues) rs->document = ctx.inPlace;

    ctx.stack.release();
    plat::heapFree(ctx.text);
    return status;
}

}  // namespace

ParseStatus parseAnswer(AnswerParser* kept, const char* document, std::size_t length, ResultSet** resultSetPtr,
                        const AnswerLimits& limits, RowReading reading) {
    return parseDocument(kept, document, length, resultSetPtr, limits, reading, nullptr);
}

ParseStatus parseAnswerInPlace(AnswerParser* kept, char*& document, std::size_t length, ResultSet** resultSetPtr,
                               const AnswerLimits& limits) {
    ParseStatus status = parseDocument(kept, document, length, resultSetPtr, limits, RowReading::Scanned, document);
    if (document && *resultSetPtr && (*resultSetPtr)->document == document) document = nullptr;
    return status;
}
