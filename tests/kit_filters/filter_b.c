/* Test filter library B: serves "sqlgetobject" only under the decorated
 * name "_sqlgetobject@8". ELF tools read '@' as a symbol version, so the
 * routine is built under a name of the same length and the same SysV hash,
 * and the name's bytes are replaced in the finished library (see
 * kit_filters.cmake): the hash table stays valid without being rebuilt. */
#include "filter_common.h"

__attribute__((constructor)) static void loaded(void) { filterNote("load B"); }
__attribute__((destructor)) static void unloaded(void) { filterNote("unload B"); }

__attribute__((visibility("default"))) int32_t _sqlgetobjdsqp8(XmlRequest* request, HVDB handle) {
    return filterServe("B", request, handle);
}
