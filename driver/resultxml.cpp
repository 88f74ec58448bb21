#include "driver/resultxml.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <expat.h>

#include "driver/resultset.h"
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

// The value of the named attribute, null when the element has none. Expat
// refuses a repeated attribute, so the first match is the only one.
const char* attribute(const XML_Char** atts, const char* name) {
    for (int i = 0; atts[i]; i += 2)
        if (std::strcmp(atts[i], name) == 0) return atts[i + 1];
    return nullptr;
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
    if (ctx->outOfMemory || len <= 0) return;
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

void startMetaData(ParserContext* ctx, const XML_Char** atts) {
    ResultSet* rs = ctx->resultSet;
    rs->rowCount = -1;
    if (const char* v = attribute(atts, "columnCount")) rs->columnCount = toNumber(v);
    if (const char* v = attribute(atts, "rowCount")) rs->rowCount = toNumber(v);
    cutAttribute(rs->statementType, attribute(atts, "statementType"));
}

void startColumnMetaData(ParserContext* ctx, const XML_Char** atts) {
    if (ctx->resultSet->columns.getCount() >= kMaxColumns) return;
    ColumnMetaData* col = appendColumn(ctx->resultSet);
    if (!col) return failMemory(ctx);
    cutAttribute(col->tableName, attribute(atts, "tableName"));
    cutAttribute(col->columnName, attribute(atts, "columnName"));
    cutAttribute(col->columnLabel, attribute(atts, "columnLabel"));
    if (const char* v = attribute(atts, "columnType")) {
        copyCut(col->columnType, sizeof col->columnType, v);
        col->sqlType = typeNameToSqlType(col->columnType);
    }
    if (const char* v = attribute(atts, "ID")) col->id = toNumber(v);
    if (const char* v = attribute(atts, "precision")) col->precision = static_cast<std::uint32_t>(toNumber(v));
    if (const char* v = attribute(atts, "maxLength")) col->maxLength = static_cast<std::uint32_t>(toNumber(v));
    if (const char* v = attribute(atts, "isNullable")) col->isNullable = isTrue(v) ? 1 : 0;
}

void startRow(ParserContext* ctx, const XML_Char** atts) {
    if (atDepthLimit(ctx)) {
        ++ctx->overflow;
        return;
    }
    Row* row = appendRow(ctx->resultSet);
    if (!row) return failMemory(ctx);
    if (const char* v = attribute(atts, "rowNumber")) row->rowNumber = toNumber(v);
    if (const char* v = attribute(atts, "recordNumber")) row->recordNumber = toNumber(v);
    if (const char* v = attribute(atts, "partNumber")) row->partNumber = toNumber(v);
    pushFrame(ctx, kFrameRow, row);
}

void startColumn(ParserContext* ctx, const XML_Char** atts) {
    Row* row = static_cast<Row*>(topOf(ctx, kFrameRow));
    if (!row || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    ColumnValue* value = appendValue(row);
    if (!value) return failMemory(ctx);
    if (const char* v = attribute(atts, "ID")) value->id = toNumber(v);
    if (const char* v = attribute(atts, "null")) value->isNull = isTrue(v) ? 1 : 0;
    if (!copyAttribute(value->fetchKey, attribute(atts, "fetchKey"))) return failMemory(ctx);
    cutAttribute(value->encoding, attribute(atts, "encoding"));
    pushFrame(ctx, kFrameColumn, value);
}

void startPart(ParserContext* ctx) {
    auto* value = static_cast<ColumnValue*>(topOf(ctx, kFrameColumn));
    if (!value) value = static_cast<ColumnValue*>(topOf(ctx, kFrameProperty));
    if (!value || atDepthLimit(ctx)) {
        pushFrame(ctx, kFrameIgnored, nullptr);
        return;
    }
    ValuePart* part = appendPart(value);
    if (!part) return failMemory(ctx);
    pushFrame(ctx, kFramePart, part);
}

void startFault(ParserContext* ctx, const XML_Char** atts) {
    ParseStatus* status = ctx->status;
    if (const char* v = attribute(atts, "faultCode")) status->code = toNumber(v);
    if (!copyAttribute(status->faultSource, attribute(atts, "faultSource")) ||
        !copyAttribute(status->faultContext, attribute(atts, "faultContext")))
        return failMemory(ctx);
}

void startProperty(ParserContext* ctx, const XML_Char** atts) {
    if (atDepthLimit(ctx)) {
        ++ctx->overflow;
        return;
    }
    ResultSet* rs = ctx->resultSet;
    ColumnMetaData* col = rs->columns.getCount() < kMaxColumns ? appendColumn(rs) : nullptr;
    Row* row = col ? appendRow(rs) : nullptr;
    ColumnValue* value = row ? appendValue(row) : nullptr;
    if (!value) {
        // Keep the end of the element paired with a frame.
        pushFrame(ctx, kFrameIgnored, nullptr);
        if (!col && rs->columns.getCount() >= kMaxColumns) return;
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
    if (ctx->outOfMemory) return;
    if (std::strcmp(name, "ResultSetMetaData") == 0)
        startMetaData(ctx, atts);
    else if (std::strcmp(name, "ColumnMetaData") == 0)
        startColumnMetaData(ctx, atts);
    else if (std::strcmp(name, "Row") == 0)
        startRow(ctx, atts);
    else if (std::strcmp(name, "Column") == 0)
        startColumn(ctx, atts);
    else if (std::strcmp(name, "P") == 0)
        startPart(ctx);
    else if (std::strcmp(name, "Fault") == 0)
        startFault(ctx, atts);
    else if (std::strcmp(name, "property") == 0)
        startProperty(ctx, atts);
}

// The value-text rules applied at the end of a Column.
void finishValue(ParserContext* ctx, ColumnValue* value) {
    std::uint32_t length;
    char* text = takeText(ctx, &length);
    if (text && value->encoding[0]) {
        unsigned char* decoded = nullptr;
        int n = Base64Decode(text, static_cast<int>(length), &decoded);
        plat::heapFree(text);
        if (!decoded) return failMemory(ctx);
        value->data = reinterpret_cast<char*>(decoded);
        value->length = static_cast<std::uint32_t>(n < 0 ? 0 : n);
    } else if (text) {
        value->data = text;
        value->length = length;
    } else if (value->parts.getCount() > 0) {
        auto* part = static_cast<ValuePart*>(value->parts.getAt(0));
        char* copy = static_cast<char*>(plat::heapAlloc(std::size_t(part->length) + 1));
        if (!copy) return failMemory(ctx);
        if (part->text) std::memcpy(copy, part->text, part->length);
        value->data = copy;
        value->length = part->length;
    }
}

void XMLCALL onEnd(void* userData, const XML_Char* name) {
    ParserContext* ctx = contextOf(userData);
    if (ctx->outOfMemory) return;
    FrameKind kind = kFrameIgnored;
    void* record = nullptr;
    if (std::strcmp(name, "Fault") == 0 || std::strcmp(name, "Success") == 0) {
        std::uint32_t length;
        replaceText(ctx->status->message, takeText(ctx, &length));
    } else if (std::strcmp(name, "Row") == 0) {
        popFrame(ctx, &kind, &record);
    } else if (std::strcmp(name, "Column") == 0 || std::strcmp(name, "P") == 0 ||
               std::strcmp(name, "property") == 0) {
        if (!popFrame(ctx, &kind, &record)) return dropText(ctx);
        if (kind == kFrameColumn) {
            finishValue(ctx, static_cast<ColumnValue*>(record));
        } else if (kind == kFramePart) {
            auto* part = static_cast<ValuePart*>(record);
            part->text = takeText(ctx, &part->length);
            if (!part->text && !(part->text = duplicate(""))) return failMemory(ctx);
        } else if (kind == kFrameProperty) {
            auto* value = static_cast<ColumnValue*>(record);
            value->data = takeText(ctx, &value->length);
        } else {
            // A misplaced element: its text belongs to nothing.
            dropText(ctx);
        }
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

ParseStatus::ParseStatus(ParseStatus&& other) noexcept
    : code(other.code), faultSource(other.faultSource), faultContext(other.faultContext), message(other.message) {
    other.faultSource = other.faultContext = other.message = nullptr;
}

ParseStatus& ParseStatus::operator=(ParseStatus&& other) noexcept {
    if (this != &other) {
        replaceText(faultSource, other.faultSource);
        replaceText(faultContext, other.faultContext);
        replaceText(message, other.message);
        code = other.code;
        other.faultSource = other.faultContext = other.message = nullptr;
    }
    return *this;
}

ParseStatus::~ParseStatus() {
    plat::heapFree(faultSource);
    plat::heapFree(faultContext);
    plat::heapFree(message);
}

ParseStatus parseXml(const char* document, std::size_t length, ResultSet** resultSetPtr) {
    ParseStatus status;
    ParserContext ctx{};
    ctx.status = &status;

    if (!*resultSetPtr) {
        driverLog().Debug("parseXml", "Allocates result");
        *resultSetPtr = newResultSet();
    }
    ctx.resultSet = *resultSetPtr;
    XML_Parser parser = ctx.resultSet ? XML_ParserCreate(nullptr) : nullptr;
    if (!parser) {
        status.code = -1;
        status.message = copyOfErrorText(XML_ERROR_NO_MEMORY);
        return status;
    }
    XML_SetUserData(parser, &ctx);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);

    bool parsed = parseAll(parser, document ? document : "", document ? length : 0);
    if (ctx.outOfMemory || (!parsed && XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY)) {
        // Expat's own code for this is 1, which would read as success.
        status.code = -1;
        replaceText(status.message, copyOfErrorText(XML_ERROR_NO_MEMORY));
    } else if (!parsed) {
        XML_Error code = XML_GetErrorCode(parser);
        status.code = static_cast<std::int32_t>(code);
        replaceText(status.message, copyOfErrorText(code));
        driverLog().Debug("parseXml", "Error %s", status.message ? status.message : "");
    }
    XML_ParserFree(parser);

    // Readers index columns up to columnCount: never let it name columns the
    // document did not describe.
    ResultSet* rs = ctx.resultSet;
    if (rs->columnCount < 0 || rs->columnCount > rs->columns.getCount()) rs->columnCount = rs->columns.getCount();

    ctx.stack.release();
    plat::heapFree(ctx.text);
    return status;
}
