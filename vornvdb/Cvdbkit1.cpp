// Requests of the first source group: bases, records, searches, users and
// the generic Import. The ordinary members come from their rows of
// RequestFamily.def; the ones below are written out.
#include "vornvdb/Cvdb.h"

#define VDB_KEEP_Cvdbkit1(code) code
#define VDB_KEEP_Cvdbkit2(code)
#define VDB_KEEP_CVDBEXT(code)
#define VDB_KEEP_Cvdbint(code)
#include "vornvdb/RequestMembers.inc"

std::int32_t CVDB::Import(EXPORTRECORD& r) {
    CPACKET p;
    p.AppendU32(r.a).AppendU32(r.b).AppendU32(r.c);
    p.AppendShortItem(r.name).AppendShortItem(r.text2);
    p.AppendLongItem(r.data).AppendLongItem(CLSTRING(r.text));
    p.AppendU32(r.d).AppendU32(r.e).AppendU32(r.f);
    const vdbreq::Desc& desc = vdbreq::Cvdbkit1_Import;
    std::int32_t rc = Exchange(desc.number, p);
    // As for Export: the server's refusals, fatal ones included, carry the
    // numbers and message the caller reports, so they are taken whenever an
    // answer came back.
    if (answered_) {
        p.TakeU32(r.a).TakeU32(r.b).TakeU32(r.c);
        p.TakeU32(r.f).TakeU32(r.result2);
        p.TakeShortItem(r.message);
    }
    if (StatusFatal(rc)) Push(desc.source, desc.member, vdbreq::kCommunicationError);
    return rc;
}

std::int32_t CVDB::GetMembers(std::uint32_t& size, CSTRING& list) {
    CPACKET p;
    p.AppendU32(size);
    std::int32_t rc = 0;
    if (RequestExchange(vdbreq::Cvdbkit1_GetMembers, p, rc)) {
        p.TakeShortItem(list);
        size = static_cast<std::uint32_t>(list.Length());
    }
    return rc;
}

std::int32_t CVDB::SetComforterInterval(std::uint32_t interval, VDBBREAKPROC callback) {
    CPACKET p;
    p.AppendU32(interval);
    std::int32_t rc = 0;
    if (RequestExchange(vdbreq::Cvdbkit1_SetComforterInterval, p, rc)) SetBreakCallback(callback);
    return rc;
}

std::int32_t CVDB::ExecuteCcl(const CSTRING& command, std::uint32_t& result) {
    CPACKET p;
    p.AppendShortItem(command);
    std::int32_t rc = 0;
    if (ProgressExchange(vdbreq::Cvdbkit1_ExecuteCcl, p, rc)) p.TakeU32(result);
    return rc;
}
