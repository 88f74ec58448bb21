/* A test filter library, built twice. Library A serves "execsql" under its
 * plain name. Library B (KIT_FILTER_B) serves "sqlgetobject" only under the
 * decorated name "_sqlgetobject@8", which ELF tools read as a symbol version:
 * its routine is built under a name of the same length and the same SysV
 * hash, and the name's bytes are replaced in the finished library (see
 * kit_filters.cmake), so the hash table stays valid without being rebuilt.
 * Each notes its loading, its unloading and its calls in the file named by
 * KIT_FILTER_TRACE. */
#include "vornvdb/vornkit.h"

#include <stdio.h>
#include <stdlib.h>

#ifdef KIT_FILTER_B
#define WHO "B"
#define ROUTINE _sqlgetobjdsqp8
#else
#define WHO "A"
#define ROUTINE execsql
#endif

static void note(const char* what) {
    const char* path = getenv("KIT_FILTER_TRACE");
    FILE* f = path ? fopen(path, "a") : NULL;
    if (!f) return;
    fprintf(f, "%s\n", what);
    fclose(f);
}

__attribute__((constructor)) static void loaded(void) { note("load " WHO); }
__attribute__((destructor)) static void unloaded(void) { note("unload " WHO); }

__attribute__((visibility("default"))) int32_t ROUTINE(XmlRequest* request, HVDB handle) {
    char line[128];
    snprintf(line, sizeof line, "call " WHO " %s %s", request->command, handle ? "handle" : "null");
    note(line);
    snprintf(request->message, sizeof request->message, "served by %s", WHO);
    request->status = 0;
    request->block = 5;
    return 1;
}
