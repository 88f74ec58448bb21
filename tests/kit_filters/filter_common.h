/* Shared by the two test filter libraries: each notes its loading, its
 * unloading and its calls in the file named by KIT_FILTER_TRACE. */
#ifndef KIT_FILTER_COMMON_H
#define KIT_FILTER_COMMON_H

#include "vornvdb/vornkit.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void filterNote(const char* what) {
    const char* path = getenv("KIT_FILTER_TRACE");
    FILE* f = path ? fopen(path, "a") : NULL;
    if (!f) return;
    fprintf(f, "%s\n", what);
    fclose(f);
}

static int32_t filterServe(const char* who, XmlRequest* request, HVDB handle) {
    char line[128];
    snprintf(line, sizeof line, "call %s %s %s", who, request->command, handle ? "handle" : "null");
    filterNote(line);
    snprintf(request->message, sizeof request->message, "served by %s", who);
    request->status = 0;
    request->block = 5;
    return 1;
}

#endif
