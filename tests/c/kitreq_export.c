/* The kit's public header used from C: it must compile as C99 and the
 * program must link against the kit. Without a server, it checks what a C
 * caller sees without a session: a start that cannot connect leaves no
 * handle, and the wrappers answer a null or a bogus handle with 0 and leave
 * the caller's outputs alone. */
#include <stdio.h>
#include <string.h>

#include "vornvdb/vornkit.h"

int main(int argc, char** argv) {
    KitStartupParams params;
    XmlRequest request;
    HVDB handle = (HVDB)0, bogus = (HVDB)&params;
    char text[16] = "keep", body[] = "select 1";
    uint32_t number = 42;
    int zeros = 0, i;

    memset(&params, 0, sizeof params);
    strcpy(params.commsModule, "wsa11.dll");
    strcpy(params.host, "127.0.0.1");
    strcpy(params.service, argc > 1 ? argv[1] : "1"); /* nothing listens there */
    params.receiveTimeout = params.sendTimeout = 2;
    if (VdbXmlStartup(&handle, &params) % 2 != 0 || handle != (HVDB)0) {
        printf("FAIL: a start without a server must fail and leave no handle\n");
        return 1;
    }
    memset(&request, 0, sizeof request);
    request.head1 = 7;
    request.document = body;
    for (i = 0; i < 2; ++i, handle = bogus) {
        zeros += VdbExport(handle, &request) == 0;
        zeros += VdbBaseInfo(handle, "base", 1, text, (uint16_t)sizeof text, &number) == 0;
        zeros += VdbShellSymbol(handle, "s", text, (uint16_t)sizeof text) == 0;
        zeros += VdbXmlApi(handle, "<r/>", NULL) == 0;
        zeros += VdbPing(handle) == 0;
        zeros += VdbEndVorn(handle, 0) == 0;
    }
    zeros += VdbStartVorn(NULL, &params, "a", "b", 0, 0) == 0;
    if (zeros != 13 || request.head1 != 7 || request.document != body || strcmp(text, "keep") != 0 || number != 42) {
        printf("FAIL: %d of 13 calls answered 0, or an output changed\n", zeros);
        return 1;
    }
    printf("kitreq_c: ok\n");
    return 0;
}
