/* Test filter library B: serves "sqlgetobject" only under the decorated
 * name "_sqlgetobject@8". ELF tools read '@' as a symbol version, so the
 * routine is built as "_sqlgetobjectX8" and renamed in the finished library
 * (rename_dynsym.py). */
#include "filter_common.h"

__attribute__((constructor)) static void loaded(void) { filterNote("load B"); }
__attribute__((destructor)) static void unloaded(void) { filterNote("unload B"); }

__attribute__((visibility("default"))) int32_t _sqlgetobjectX8(XmlRequest* request, HVDB handle) {
    return filterServe("B", request, handle);
}
