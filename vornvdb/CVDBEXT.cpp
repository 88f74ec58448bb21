// Requests of the extension group: extended start, files, fields by name or
// number and commands. The ordinary members come from their rows of
// RequestFamily.def; CommandBreak is written out.
#include "vornvdb/Cvdb.h"

#define VDB_KEEP_Cvdbkit1(code)
#define VDB_KEEP_Cvdbkit2(code)
#define VDB_KEEP_CVDBEXT(code) code
#define VDB_KEEP_Cvdbint(code)
#include "vornvdb/RequestMembers.inc"

std::int32_t CVDB::CommandBreak(const CSTRING& command, std::uint32_t& result, CSTRING& text1, CSTRING& text2) {
    CPACKET p;
    p.AppendShortItem(command);
    std::int32_t rc = 0;
    if (ProgressExchange(vdbreq::CVDBEXT_CommandBreak, p, rc)) {
        p.TakeU32(result);
        p.TakeShortItem(text1);
        p.TakeShortItem(text2);
    }
    return rc;
}
