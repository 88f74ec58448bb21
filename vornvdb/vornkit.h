/* The client kit's C API: flat functions over an opaque session handle,
 * and the error-stack functions. Usable from C and C++. Every function
 * carries the prefix Vdb; a request wrapper is named after its request
 * (VdbExport for Export), see vornkit_requests.h for the family.
 *
 * Status codes: odd is success, even is failure, negative is fatal for the
 * session (-2 communication failure). A function given an invalid handle
 * returns 0. No function lets an exception escape. */
#ifndef VORNVDB_VORNKIT_H
#define VORNVDB_VORNKIT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HVDB__* HVDB;
typedef struct HERRSTACK__* HERRSTACK;

/* Kit status values. */
#define VDB_OK 1
#define VDB_OK_MESSAGE 3
#define VDB_BEGIN_OLD_SERVER 5
#define VDB_COMM_ERROR (-2)
#define VDB_VERSION_MISMATCH (-4)
#define VDB_INIT_FAILED (-6)
#define VDB_NO_HOST_INI (-8)
#define VDB_NO_HOST_USER (-12)
#define VDB_SERVER_START_FAILED (-14)
#define VDB_ALREADY_LOGGED_IN (-16)
#define VDB_ENCRYPTION_FAILED (-18)
#define VDB_BUSY 0x0FFFFFFE
#define VDB_NOTIFY 0x0FFFFFFA
#define VDB_PROGRESS 0x0FFFFFFC
#define VDB_TOO_MANY_SESSIONS 26114

/* Category bits of the trace flags (the top byte is the log's verbosity). */
#define VDB_TRACE_NETWORK 0x00000001u
#define VDB_TRACE_REQUESTS 0x00000010u
#define VDB_TRACE_HANDLES 0x00000100u

/* The start-up record; every text is NUL-terminated. */
typedef struct KitStartupParams {
    HERRSTACK errorStack;    /* failure texts, or null */
    char commsModule[34];    /* "wsa11.dll" */
    char host[130];
    char service[34];        /* service name or port */
    char startText[134];     /* last text of the start request, or the XmlInit text */
    uint32_t traceFlags;
    uint32_t receiveTimeout; /* seconds */
    uint32_t sendTimeout;    /* seconds */
    /* With the comms module "tls.dll" only: */
    uint32_t tlsFlags;       /* VDB_TLS_TRUST_SERVER: no certificate check */
    char caFile[260];        /* PEM bundle of trusted issuers; "" the system's store */
    char tlsHost[256];       /* the name the certificate must carry; "" the host */
    uint32_t maxFrameLength; /* largest answer body accepted, bytes; 0: the kit's own limit */
} KitStartupParams;

#define VDB_TLS_TRUST_SERVER 0x1u

/* The caller's side of an Export request. */
typedef struct XmlRequest {
    uint32_t head1, head2, head3; /* in/out */
    char command[32];             /* request name, e.g. "execsql" */
    char subject[36];             /* second text */
    char* document;               /* body in; on return a new process-heap block, or unchanged when empty */
    int32_t documentLength;
    char* text;                   /* further text in; on return a new process-heap block, or unchanged */
    int32_t textLength;
    uint32_t rows;                /* first option number */
    uint32_t flags;               /* second option number; 0x8 runs a local filter routine */
    uint32_t block;               /* third option number in; the answer's result 1 out */
    uint32_t status;              /* the answer's result 2 */
    char message[256];            /* the answer's message, terminated */
} XmlRequest;

#define VDB_EXPORT_LOCAL 0x8u

/* A server notification: `text` (not terminated) and its length; the handler
 * may set *reply to a NUL-terminated process-heap text (the kit frees it);
 * left null, the kit answers "<NOTIFY_RES OP="CONTINUE"/>". */
typedef int (*VDBNOTIFYPROC)(void* data, const char* text, uint32_t length, char** reply);

/* ---- Sessions ---------------------------------------------------------- */

/* Opens a session and logs the user in. Stores the handle (null on
 * failure) and returns the start status; only odd statuses leave a session. */
int32_t VdbStartVorn(HVDB* handle, const KitStartupParams* params, const char* user, const char* password,
                  uint32_t number, uint32_t startFlags);
/* Opens a session with the begin handshake. */
int32_t VdbBeginVdbs(HVDB* handle, const KitStartupParams* params, uint8_t beginMode);
/* Opens a session without a handshake and sends params->startText with XmlInit. */
int32_t VdbXmlStartup(HVDB* handle, const KitStartupParams* params);
/* Ends the session: sends the end request and closes the connection.
 * 1, or 0 for an invalid handle. */
int32_t VdbEndVorn(HVDB handle, uint8_t endMode);

/* ---- Requests ---------------------------------------------------------- */

int32_t VdbExport(HVDB handle, XmlRequest* request);
/* Server texts 1 and 2 and the kit's own version text. */
int32_t VdbXVersion(HVDB handle, char* server1, uint16_t size1, char* server2, uint16_t size2, char* client,
                 uint16_t size3);
/* The text for a status. Without a session, status 26114 still gets its text. */
int32_t VdbMessage(HVDB handle, int32_t status, char* buffer, uint16_t size);
/* Session settings. */
int32_t VdbSetNotifyHandler(HVDB handle, VDBNOTIFYPROC handler, void* data);
int32_t VdbSetBreakData(HVDB handle, void* data);
int32_t VdbRequestBreak(HVDB handle);
int32_t VdbPing(HVDB handle);
/* Seconds that each later wait for the server may take (the start-up
 * record's limits until then). 1, or 0 for an invalid handle. */
int32_t VdbSetTimeLimits(HVDB handle, uint16_t receiveTimeout, uint16_t sendTimeout);

/* ---- Error stacks ------------------------------------------------------- */

HERRSTACK VdbErrStackCreate(const char* first, const char* second, const char* third, const char* fourth);
int32_t VdbErrStackDestroy(HERRSTACK stack);
int32_t VdbErrStackPush(HERRSTACK stack, const char* source, const char* method, const char* text);
int32_t VdbErrStackPushSysErr(HERRSTACK stack, const char* source, const char* method, int32_t code);
int32_t VdbErrStackShowAndClear(HERRSTACK stack);
int32_t VdbErrStackClear(HERRSTACK stack);
/* Pops the newest entry into the zero-filled buffer (not terminated when it
 * fills it); returns the bytes copied, 0 when empty. */
int32_t VdbErrStackPop(HERRSTACK stack, char* buffer, uint32_t size);
/* Pops every entry, newest first, each followed by "\r\n"; the last byte
 * copied becomes the terminator. Returns the bytes copied. */
int32_t VdbErrStackGetAll(HERRSTACK stack, char* buffer, uint32_t size);

#ifdef __cplusplus
}
#endif

/* The request family's wrappers. */
#include "vornvdb/vornkit_requests.h"

#endif
