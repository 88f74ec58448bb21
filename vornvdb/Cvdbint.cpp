// Requests of the internal group: windows, blocks, record buffers and the
// form definitions. The ordinary members come from their rows of
// RequestFamily.def; the array-returning ones and SFormFD are written out.
#include "vornvdb/Cvdb.h"

#define VDB_KEEP_Cvdbkit1(code)
#define VDB_KEEP_Cvdbkit2(code)
#define VDB_KEEP_CVDBEXT(code)
#define VDB_KEEP_Cvdbint(code) code
#include "vornvdb/RequestMembers.inc"

namespace {

// The session's result slots: one per array-returning member.
constexpr int kFieldInfoSlot = 0;
constexpr int kWindowHitsSlot = 1;

// The number of entries of `entrySize` bytes that the rest of the answer can
// hold: a count beyond it would only yield zeros, and must not make the
// session allocate what the server never sent.
std::uint32_t Bounded(std::uint32_t count, const CPACKET& p, std::size_t entrySize) {
    std::size_t fits = p.Length() / entrySize;
    return count < fits ? count : static_cast<std::uint32_t>(fits);
}

// Takes an entry count and makes the session's array for that many entries
// (one at least, so that an empty array is still an array), replacing the
// slot's previous one. Null, with the count 0, when the heap refuses.
template <class Entry>
Entry* TakeArray(CVDB& vdb, const vdbreq::Desc& desc, int slot, CPACKET& p, std::uint32_t& count) {
    std::uint32_t n = 0;
    p.TakeU32(n);
    count = Bounded(n, p, sizeof(Entry));
    auto* array = static_cast<Entry*>(vdb.ResultBuffer(slot, (count ? count : 1) * sizeof(Entry)));
    if (!array) {
        count = 0;
        vdb.Push(desc.source, desc.member, vdbreq::kOutOfMemory);
    }
    return array;
}

}  // namespace

std::int32_t CVDB::GetFieldInfo(std::uint32_t a, std::uint32_t b, CSTRING& name, std::uint32_t& count,
                                const VDBFIELDINFO*& pairs, std::uint32_t& last) {
    const vdbreq::Desc& desc = vdbreq::Cvdbint_GetFieldInfo;
    CPACKET p;
    p.AppendU32(a).AppendU32(b);
    std::int32_t rc = 0;
    if (!RequestExchange(desc, p, rc)) return rc;
    p.TakeShortItem(name);
    auto* array = TakeArray<VDBFIELDINFO>(*this, desc, kFieldInfoSlot, p, count);
    pairs = array;
    if (!array) return rc;  // the pairs stay in the answer, untaken
    for (std::uint32_t i = 0; i < count; ++i) p.TakeU32(array[i].first).TakeU32(array[i].second);
    p.TakeU32(last);
    return rc;
}

std::int32_t CVDB::GetWindowHits(std::uint32_t window, std::uint32_t& count, const VDBWINDOWHIT*& hits) {
    const vdbreq::Desc& desc = vdbreq::Cvdbint_GetWindowHits;
    CPACKET p;
    p.AppendU32(window);
    std::int32_t rc = 0;
    if (!RequestExchange(desc, p, rc)) return rc;
    auto* array = TakeArray<VDBWINDOWHIT>(*this, desc, kWindowHitsSlot, p, count);
    hits = array;
    if (!array) return rc;
    for (std::uint32_t i = 0; i < count; ++i)
        for (std::uint32_t& v : array[i].value) p.TakeU32(v);
    return rc;
}

std::int32_t CVDB::SFormFD(CSTRING& text, const std::uint32_t (&values)[31], std::uint32_t last) {
    CPACKET p;
    p.AppendShortItem(text);
    for (std::uint32_t v : values) p.AppendU32(v);
    p.AppendU32(last);
    std::int32_t rc = 0;
    if (RequestExchange(vdbreq::Cvdbint_SFormFD, p, rc)) p.TakeShortItem(text);
    return rc;
}
