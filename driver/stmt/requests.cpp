// The four server commands the driver knows, each sent through the kit's
// Export request, and the fetch of a long value by its key.
#include "driver/stmt/requests.h"

#include "driver/connect/connect.h"
#include "driver/stmt/resultset.h"
#include "log/VfxLogger.h"
#include "platform/platform.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

// Flags the server expects with every command but "sqlgettabledesc".
constexpr std::uint32_t kCommandFlags = 36;
// Keys and table names travel in a text of at most 511 characters.
constexpr std::size_t kKeyTextSize = 512;

struct CommandRow {
    const char* command;
    std::uint32_t flags;
};
enum Command { EXECSQL, SQLGETOBJECT, SQLGETENCODING, SQLGETTABLEDESC };
const CommandRow kCommands[] = {
    {"execsql", kCommandFlags},
    {"sqlgetobject", kCommandFlags},
    {"sqlgetencoding", kCommandFlags},
    {"sqlgettabledesc", 0},
};

// A zero-filled record for one command. `text` stays the caller's.
XmlRequest makeRequest(Command command, const char* text, std::uint32_t rows, std::uint32_t block) {
    XmlRequest request;
    std::memset(&request, 0, sizeof request);
    std::snprintf(request.command, sizeof request.command, "%s", kCommands[command].command);
    request.flags = kCommands[command].flags;
    request.rows = rows;
    request.block = block;
    if (text) {
        request.text = const_cast<char*>(text);  // read only by the kit
        request.textLength = std::int32_t(std::strlen(text) + 1);
    }
    return request;
}

// Whether a type line starts with `word`, ended by a line feed or the end of
// the text (the kit's copy of the answer text may lose its last character).
const char* afterWord(const char* line, const char* word) {
    std::size_t n = std::strlen(word);
    if (std::strncmp(line, word, n) != 0) return nullptr;
    if (line[n] == '\n') return line + n + 1;
    if (line[n] == '\0') return line + n;
    return nullptr;
}

void describeObject(ObjectInfo& object, const char* typeLine) {
    if (!typeLine) return;
    if (const char* rest = afterWord(typeLine, "TEXT")) {
        std::snprintf(object.typeName, sizeof object.typeName, "%s", "LONG VARCHAR");
        std::size_t n = std::strcspn(rest, "\r\n");
        if (n > sizeof object.encoding - 1) n = sizeof object.encoding - 1;
        std::memcpy(object.encoding, rest, n);
        object.encoding[n] = '\0';
    } else if (afterWord(typeLine, "STRING")) {
        std::snprintf(object.typeName, sizeof object.typeName, "%s", "LONG VARBINARY");
    }
}

XmlReply* send(HVDB session, XmlRequest request) { return sendXmlRequest(session, request); }

}  // namespace

XmlReply* execsqlRequest(HVDB session, const char* sqlText, std::uint32_t rows, std::int32_t block) {
    const char* text = sqlText ? sqlText : "";
    if (std::strlen(text) >= std::size_t(INT32_MAX)) {
        // Longer than the request's length field can say.
        XmlReply* reply = plat::heapNew<XmlReply>();
        if (reply) std::snprintf(reply->message, sizeof reply->message, "%s", "Statement text too long");
        return reply;
    }
    return send(session, makeRequest(EXECSQL, text, rows, block >= 1 ? std::uint32_t(block) : 0));
}

XmlReply* sqlgetobjectRequest(HVDB session, const char* fetchKey) {
    char text[kKeyTextSize];
    std::snprintf(text, sizeof text, "FETCHKEY=%s\n", fetchKey ? fetchKey : "");
    return send(session, makeRequest(SQLGETOBJECT, text, 1, 0));
}

XmlReply* sqlgetencodingRequest(HVDB session) { return send(session, makeRequest(SQLGETENCODING, nullptr, 0, 0)); }

XmlReply* sqlgettabledescRequest(HVDB session, const char* tableName) {
    char text[kKeyTextSize];
    std::snprintf(text, sizeof text, "TABLENAME=%s\n", tableName ? tableName : "");
    return send(session, makeRequest(SQLGETTABLEDESC, text, 0, 0));
}

XmlReply* sendXmlRequest(HVDB session, XmlRequest& request) {
    XmlReply* reply = plat::heapNew<XmlReply>();
    if (!reply) return nullptr;
    char* const inDocument = request.document;
    char* const inText = request.text;

    std::int32_t result = VdbExport(session, &request);

    // Blocks that differ from what went in are the kit's, and ours to free.
    char* document = request.document != inDocument ? request.document : nullptr;
    char* answerText = request.text != inText ? request.text : nullptr;
    std::uint32_t documentLength = document && request.documentLength > 0 ? std::uint32_t(request.documentLength) : 0;

    // A call that failed outright (no answer, an answer numbered for another
    // request, a frame that lies) has its own result, whatever status the
    // record was left with.
    reply->status = request.status && result >= 0 ? request.status : std::uint32_t(result);
    request.message[sizeof request.message - 1] = '\0';
    std::snprintf(reply->message, sizeof reply->message, "%s", request.message);

    if (strcasecmp(request.command, "sqlgetobject") == 0 && (reply->status & kReplySuccessBit)) {
        ObjectInfo* object = plat::heapNew<ObjectInfo>();
        if (object) {
            if (documentLength > 0) {
                object->data = reinterpret_cast<unsigned char*>(document);
                object->length = documentLength;
                document = nullptr;
            }
            describeObject(*object, answerText);
        }
        reply->object = object;  // null: the caller reports the memory failure
    } else if (documentLength > 0) {
        reply->document = document;
        reply->documentLength = documentLength;
        document = nullptr;
    }
    plat::heapFree(document);
    plat::heapFree(answerText);
    return reply;
}

void freeXmlReply(XmlReply* reply) {
    if (!reply) return;
    plat::heapFree(reply->document);
    if (reply->object) {
        plat::heapFree(reply->object->data);
        plat::heapDelete(reply->object);
    }
    plat::heapDelete(reply);
}

SQLRETURN fetchObjectValue(Statement* stmt, ColumnValue* value) {
    if (!sessionUsable(stmt)) return SQL_ERROR;
    QueryTimeLimit limit(stmt);
    XmlReply* reply = sqlgetobjectRequest(stmt->conn->session, value->fetchKey);
    if (!reply) {
        addOdbcError(stmt, "HY001", "Memory allocation error");
        return SQL_ERROR;
    }
    SQLRETURN rc = SQL_SUCCESS;
    if (linkFailed(stmt, std::int32_t(reply->status))) {
        rc = SQL_ERROR;
    } else if (!(reply->status & kReplySuccessBit)) {
        addOdbcError(stmt, "HY000", reply->message);
        rc = SQL_ERROR;
    } else if (!reply->object) {
        addOdbcError(stmt, "HY001", "Memory allocation error");
        rc = SQL_ERROR;
    } else if (reply->object->data &&
               (strcasecmp(reply->object->typeName, "LONG VARCHAR") != 0 || plat::internalIsUtf8())) {
        // The bytes stay as they came: the block the kit made (with room
        // for a terminator) becomes the value's, not copied again.
        ObjectInfo& object = *reply->object;
        object.data[object.length] = '\0';
        if (!value->dataInArena) plat::heapFree(value->data);
        value->data = reinterpret_cast<char*>(object.data);
        value->length = object.length;
        value->dataInArena = 0;
        object.data = nullptr;
    } else {
        const ObjectInfo& object = *reply->object;
        std::string text;
        const char* bytes = reinterpret_cast<const char*>(object.data);
        std::size_t length = object.length;
        if (length > 0 && strcasecmp(object.typeName, "LONG VARCHAR") == 0) {
            text = plat::utf8ToInternal(bytes, length);
            bytes = text.data();
            length = text.size();
        }
        // Terminated, so that a character value can be read as a string.
        char* data = static_cast<char*>(plat::heapAlloc(length + 1));
        if (!data) {
            addOdbcError(stmt, "HY001", "Memory allocation error");
            rc = SQL_ERROR;
        } else {
            if (length) std::memcpy(data, bytes, length);
            if (!value->dataInArena) plat::heapFree(value->data);
            value->data = data;
            value->dataInArena = 0;
            value->length = std::uint32_t(length);
        }
    }
    freeXmlReply(reply);
    return rc;
}
