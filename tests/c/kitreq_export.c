/* The kit's public header used from C: it must compile as C99 and the
 * program must link against the kit. Without a server, it checks what a C
 * caller sees of the wrappers without a session: a start that cannot
 * connect leaves no handle, and the request wrappers, Export among them,
 * answer an invalid handle with 0 and leave the caller's record alone. */
#include <stdio.h>
#include <string.h>

#include "vornvdb/vornkit.h"

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv) {
    KitStartupParams params;
    XmlRequest request;
    HVDB handle = (HVDB)0;
    char text[16] = "keep", body[] = "select 1";
    uint32_t number = 42;

    memset(&params, 0, sizeof params);
    strcpy(params.commsModule, "wsa11.dll");
    strcpy(params.host, "127.0.0.1");
    strcpy(params.service, argc > 1 ? argv[1] : "1"); /* nothing listens there */
    params.receiveTimeout = params.sendTimeout = 2;
    check(VdbXmlStartup(&handle, &params) % 2 == 0 && handle == (HVDB)0,
          "a start without a server fails and leaves no handle");

    memset(&request, 0, sizeof request);
    request.head1 = 7;
    strcpy(request.command, "execsql");
    request.document = body;
    request.documentLength = (int32_t)strlen(body);
    check(VdbExport(handle, &request) == 0 && request.head1 == 7 && request.document == body,
          "Export with no session answers 0 and leaves the record");
    check(VdbBaseInfo(handle, "base", 1, text, (uint16_t)sizeof text, &number) == 0 && strcmp(text, "keep") == 0 &&
              number == 42,
          "a generated wrapper with no session answers 0 and leaves its outputs");

    if (failures == 0) printf("kitreq_c: ok\n");
    return failures == 0 ? 0 : 1;
}
