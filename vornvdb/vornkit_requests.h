/* The request wrappers of the client kit's C API: one function per request
 * of the session, named after it with the prefix Vdb.
 *
 * Every wrapper takes the session handle first, then the request's fields in
 * wire order: inputs by value (texts as C strings, a null pointer counting as
 * ""), outputs by pointer (a null pointer skips that output), output texts as
 * a buffer and its size. A text is copied out cut to size - 1 characters and
 * always terminated; a size of 0 leaves the buffer alone. The result is the
 * request's status (odd: success, even: failure, negative: the session is
 * broken); an invalid handle gives 0 and nothing else happens.
 *
 * Included by vornkit.h after HVDB and XmlRequest are declared.
 */
#ifndef VORNVDB_VORNKIT_REQUESTS_H
#define VORNVDB_VORNKIT_REQUESTS_H

#include <stdint.h>

#include "vornvdb/RequestMacros.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of each text field of the records below, terminator included. */
#define VDB_RECORD_TEXT 256

/* Base and thesaurus definition: s*7 u8 u8 u8 s*10 u32 s s on the wire. */
typedef struct VDBDEFREC {
    char text1[7][VDB_RECORD_TEXT];
    uint8_t flag[3];
    char text2[10][VDB_RECORD_TEXT];
    uint32_t number;
    char text3[2][VDB_RECORD_TEXT];
} VDBDEFREC;

/* Field description: s s s u32 u8*7 u32*4 s*4 u32. */
typedef struct VDBFIELDSPEC {
    char text1[3][VDB_RECORD_TEXT];
    uint32_t number1;
    uint8_t flag[7];
    uint32_t value[4];
    char text2[4][VDB_RECORD_TEXT];
    uint32_t number2;
} VDBFIELDSPEC;

/* Text separators: u8*4 s*6. */
typedef struct VDBTEXTSEPS {
    uint8_t separator[4];
    char text[6][VDB_RECORD_TEXT];
} VDBTEXTSEPS;

/* User profile. Sent: text, number, flag[0]. Taken: text, number, flag,
 * then count and at most 100 values. */
#define VDB_PROFILE_VALUES 100
typedef struct VDBUSERPROFILE {
    char text[7][VDB_RECORD_TEXT];
    uint32_t number[2];
    uint8_t flag[3];
    uint32_t count;
    uint32_t value[VDB_PROFILE_VALUES];
} VDBUSERPROFILE;

/* Database cluster. Sent: slots (at most 30 count), count, min(slots, count)
 * items, text. Taken: count, min(count, 30) items, text; slots the answer
 * did not fill become "". */
#define VDB_CLUSTER_ITEMS 30
typedef struct VDBDBCLUSTER {
    uint32_t slots;
    uint32_t count;
    char item[VDB_CLUSTER_ITEMS][VDB_RECORD_TEXT];
    char text[VDB_RECORD_TEXT];
} VDBDBCLUSTER;

/* One pair of the array that GetFieldInfo hands out. */
typedef struct VDBFIELDINFO {
    uint32_t first;
    uint32_t second;
} VDBFIELDINFO;

/* One group of the array that GetWindowHits hands out. */
typedef struct VDBWINDOWHIT {
    uint32_t value[3];
} VDBWINDOWHIT;

/* The break test of long requests (VdbSetComforterInterval): called with the
 * server's progress value and the break data; 1 to go on, 0 to stop. */
typedef int (*VDBBREAKPROC)(uint16_t value, void* data);

/* ---- Wrappers made from the family table ---- */
#define VDB_REQ(group, member, number, policy, ...) \
    int32_t Vdb##member(HVDB hvdb VDB_SEQ(VDB_CPARAM, __VA_ARGS__));
#define VDB_REQW VDB_REQ
#define VDB_REQ2(group, member, number, policy, ...) \
    int32_t Vdb##member##2(HVDB hvdb VDB_SEQ(VDB_CPARAM, __VA_ARGS__));
#define VDB_OWN(group, member, number, policy)
#define VDB_KIT(group, member, number)
#include "vornvdb/RequestFamily.def"

/* ---- Wrappers written out ---- */

/* The session's break callback, installed when the status is odd. */
int32_t VdbSetComforterInterval(HVDB hvdb, uint32_t interval, VDBBREAKPROC callback);

/* Runs a retrieval command; the server's progress answers are passed to the
 * break test (the callback, a requested break or the Escape key). */
int32_t VdbExecuteCcl(HVDB hvdb, const char* command, uint32_t* result);
int32_t VdbCommandBreak(HVDB hvdb, const char* command, uint32_t* result,
                        char* text1, uint16_t text1Size, char* text2, uint16_t text2Size);

/* `size` goes to the server; on success it receives the length of the list. */
int32_t VdbGetMembers(HVDB hvdb, uint32_t* size, char* list, uint16_t listSize);

/* The array stays owned by the session: valid until the next call of the
 * same wrapper or the session's end. */
int32_t VdbGetFieldInfo(HVDB hvdb, uint32_t a, uint32_t b, char* name, uint16_t nameSize,
                        uint32_t* count, const VDBFIELDINFO** pairs, uint32_t* last);
int32_t VdbGetWindowHits(HVDB hvdb, uint32_t window, uint32_t* count, const VDBWINDOWHIT** hits);

/* `text` is sent and, on success, replaced by the answer (in the same buffer). */
int32_t VdbSFormFD(HVDB hvdb, char* text, uint16_t textSize, const uint32_t values[31], uint32_t last);

/* On an odd status *answer receives a new process-heap block holding the
 * answer document and a terminating zero; the caller frees it with the
 * process heap, as the blocks of VdbExport. When the heap refuses the block
 * the answer is lost and the result is -2. */
int32_t VdbXmlApi(HVDB hvdb, const char* request, char** answer);

/* The export record's fields travel as for VdbExport; head1..3, block, status
 * and message come back after every answer, whatever its status, so that the
 * server's refusals can be reported. */
int32_t VdbImport(HVDB hvdb, XmlRequest* request);

#ifdef __cplusplus
}
#endif

#endif
