/* Test filter library A: serves "execsql" under its plain name. */
#include "filter_common.h"

__attribute__((constructor)) static void loaded(void) { filterNote("load A"); }
__attribute__((destructor)) static void unloaded(void) { filterNote("unload A"); }

__attribute__((visibility("default"))) int32_t execsql(XmlRequest* request, HVDB handle) {
    return filterServe("A", request, handle);
}
