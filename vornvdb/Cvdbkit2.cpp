// Requests of the second source group: items, forms, procedures, settings
// and the XML request. The ordinary members come from their rows of
// RequestFamily.def; XmlApi is written out.
#include "vornvdb/Cvdb.h"

#define VDB_KEEP_Cvdbkit1(code)
#define VDB_KEEP_Cvdbkit2(code) code
#define VDB_KEEP_CVDBEXT(code)
#define VDB_KEEP_Cvdbint(code)
#include "vornvdb/RequestMembers.inc"

std::int32_t CVDB::XmlApi(const CLSTRING& request, CLSTRING& answer) {
    const vdbreq::Desc& desc = vdbreq::Cvdbkit2_XmlApi;
    CPACKET p;
    p.AppendLongItem(request);
    std::int32_t rc = Gate();  // logs its own refusal
    if (rc == kVdbOk) {
        // The busy flag stays set while notifications are answered.
        SetBusy(true);
        rc = CallAndListen(vornwire::kKindRequest, desc.number, p);
        rc = RunNotifications(desc.number, p, rc);
        SetBusy(false);
        if (StatusOk(rc)) {
            p.TakeLongItem(answer);
            return rc;
        }
    }
    if (StatusFatal(rc)) Push(desc.source, desc.member, vdbreq::kCommunicationError);
    return rc;
}
