// The driver's server requests: four commands sent through the kit's generic
// Export request, the record of an answer (XmlReply), and the fetch of a long
// column value by its key.
#pragma once

#include "driver/entry/handles.h"

#include <cstdint>

struct ColumnValue;

// A fetched object ("sqlgetobject").
struct ObjectInfo {
    unsigned char* data;   // owned heap block, null when length is 0
    std::uint32_t length;
    char typeName[64];     // "LONG VARCHAR", "LONG VARBINARY" or ""
    char encoding[64];     // for text objects: the encoding the server named
};

// The outcome of one request. Owned blocks are plat::heapAlloc blocks.
struct XmlReply {
    std::uint32_t status;  // the answer's status, else the kit call's result
    char message[256];
    char* document;        // owned or null; not set for a fetched object
    std::uint32_t documentLength;
    ObjectInfo* object;    // owned; only for a successful "sqlgetobject"
};

// Status bits the driver reads.
constexpr std::uint32_t kReplySuccessBit = 1;
constexpr std::uint32_t kReplyMoreRows = 3;  // a block of rows, more on the server

// Request builders. Each returns a new reply (free it with freeXmlReply), or
// null when the heap refuses. rows: rows per block, or 0xFFFFFFFF for all;
// block: number from 1, anything below 1 sends 0.
XmlReply* execsqlRequest(HVDB session, const char* sqlText, std::uint32_t rows, std::int32_t block);
XmlReply* sqlgetobjectRequest(HVDB session, const char* fetchKey);
XmlReply* sqlgetencodingRequest(HVDB session);
XmlReply* sqlgettabledescRequest(HVDB session, const char* tableName);

// Sends a filled request record and records the answer. The record's input
// text stays the caller's; blocks the kit allocated move into the reply or
// are released.
XmlReply* sendXmlRequest(HVDB session, XmlRequest& request);
void freeXmlReply(XmlReply* reply);

// Reads a by-reference value (fetch key, no data) into value->data, as text
// in the driver's code page for a long character object, as bytes otherwise.
// On failure: HY000 with the server's message on the statement, SQL_ERROR.
SQLRETURN fetchObjectValue(Statement* stmt, ColumnValue* value);
