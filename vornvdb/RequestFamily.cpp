// Wire forms of the family's compound fields, and the progress loop that
// two members share.
#include "vornvdb/RequestFamily.h"

#include <cstring>

#include "vornvdb/Cvdb.h"
#include "vornvdb/ScrambleKey.h"
#include "vornvdb/vornkit.h"

namespace vdbreq {
namespace {

// A record's text field goes out as a short item of its characters.
template <std::size_t N>
void PutText(CPACKET& p, const char (&text)[N]) {
    std::size_t length = 0;
    while (length < N && text[length] != '\0') ++length;
    p.AppendShortItem(CSTRING(text, length));
}

// A short item into a record's text field, cut to fit and terminated.
template <std::size_t N>
void TakeText(CPACKET& p, char (&text)[N]) {
    CSTRING value;
    p.TakeShortItem(value);
    std::memset(text, 0, N);
    value.CopyOut(text, N);
}

}  // namespace

void Put(CPACKET& p, x, const CSTRING& v) {
    unsigned char scrambled[vornwire::kScrambleLength];
    vornwire::ScrambleBytes(v.c_str(), scrambled);
    p.AppendShortItem(CPACKET(scrambled, sizeof scrambled));
}

// s*7 u8 u8 u8 s*10 u32 s s
void Put(CPACKET& p, def, const VDBDEFREC& v) {
    for (const auto& t : v.text1) PutText(p, t);
    for (std::uint8_t f : v.flag) p.AppendU8(f);
    for (const auto& t : v.text2) PutText(p, t);
    p.AppendU32(v.number);
    for (const auto& t : v.text3) PutText(p, t);
}

void Take(CPACKET& p, def, VDBDEFREC& v) {
    for (auto& t : v.text1) TakeText(p, t);
    for (std::uint8_t& f : v.flag) p.TakeU8(f);
    for (auto& t : v.text2) TakeText(p, t);
    p.TakeU32(v.number);
    for (auto& t : v.text3) TakeText(p, t);
}

// s s s u32 u8*7 u32*4 s*4 u32
void Put(CPACKET& p, fspec, const VDBFIELDSPEC& v) {
    for (const auto& t : v.text1) PutText(p, t);
    p.AppendU32(v.number1);
    for (std::uint8_t f : v.flag) p.AppendU8(f);
    for (std::uint32_t n : v.value) p.AppendU32(n);
    for (const auto& t : v.text2) PutText(p, t);
    p.AppendU32(v.number2);
}

void Take(CPACKET& p, fspec, VDBFIELDSPEC& v) {
    for (auto& t : v.text1) TakeText(p, t);
    p.TakeU32(v.number1);
    for (std::uint8_t& f : v.flag) p.TakeU8(f);
    for (std::uint32_t& n : v.value) p.TakeU32(n);
    for (auto& t : v.text2) TakeText(p, t);
    p.TakeU32(v.number2);
}

// u8*4 s*6
void Put(CPACKET& p, seps, const VDBTEXTSEPS& v) {
    for (std::uint8_t c : v.separator) p.AppendU8(c);
    for (const auto& t : v.text) PutText(p, t);
}

void Take(CPACKET& p, seps, VDBTEXTSEPS& v) {
    for (std::uint8_t& c : v.separator) p.TakeU8(c);
    for (auto& t : v.text) TakeText(p, t);
}

// Sent: s*7 u32 u32 u8.
void Put(CPACKET& p, profile, const VDBUSERPROFILE& v) {
    for (const auto& t : v.text) PutText(p, t);
    for (std::uint32_t n : v.number) p.AppendU32(n);
    p.AppendU8(v.flag[0]);
}

// Taken: s*7 u32 u32 u8 u8 u8, u32 n, then min(n, 100) values; the record
// counts the values it kept.
void Take(CPACKET& p, profile, VDBUSERPROFILE& v) {
    for (auto& t : v.text) TakeText(p, t);
    for (std::uint32_t& n : v.number) p.TakeU32(n);
    for (std::uint8_t& f : v.flag) p.TakeU8(f);
    std::uint32_t n = 0;
    p.TakeU32(n);
    v.count = n < VDB_PROFILE_VALUES ? n : VDB_PROFILE_VALUES;
    for (std::uint32_t i = 0; i < VDB_PROFILE_VALUES; ++i) {
        v.value[i] = 0;
        if (i < v.count) p.TakeU32(v.value[i]);
    }
}

// Sent: u32 m, u32 n, min(m, n) items, s. The record has 30 slots, so m is
// capped there and the item count always agrees with what goes out.
void Put(CPACKET& p, cluster, const VDBDBCLUSTER& v) {
    std::uint32_t m = v.slots < VDB_CLUSTER_ITEMS ? v.slots : VDB_CLUSTER_ITEMS;
    p.AppendU32(m);
    p.AppendU32(v.count);
    std::uint32_t items = m < v.count ? m : v.count;
    for (std::uint32_t i = 0; i < items; ++i) PutText(p, v.item[i]);
    PutText(p, v.text);
}

// Taken: u32 n, min(n, 30) items, s; slots beyond them become "".
void Take(CPACKET& p, cluster, VDBDBCLUSTER& v) {
    std::uint32_t n = 0;
    p.TakeU32(n);
    v.count = n < VDB_CLUSTER_ITEMS ? n : VDB_CLUSTER_ITEMS;
    v.slots = VDB_CLUSTER_ITEMS;
    for (std::uint32_t i = 0; i < VDB_CLUSTER_ITEMS; ++i) {
        if (i < v.count)
            TakeText(p, v.item[i]);
        else
            std::memset(v.item[i], 0, sizeof v.item[i]);
    }
    TakeText(p, v.text);
}

}  // namespace vdbreq

bool CVDB::ProgressExchange(const vdbreq::Desc& desc, CPACKET& packet, std::int32_t& rc) {
    rc = Gate();  // logs its own refusal
    if (rc == kVdbOk) {
        ResetBreakKey();  // only presses from now on count
        SetBusy(true);
        rc = CallAndListen(vornwire::kKindRequest, desc.number, packet);
        while (rc == kVdbProgress) {
            std::uint16_t progress = 0;
            packet.TakeU16(progress);
            packet.Clear();
            packet.AppendU16(static_cast<std::uint16_t>(BreakPoll(progress)));
            rc = CallAndListen(vornwire::kKindRequest, desc.number, packet);
        }
        SetBusy(false);
        if (StatusOk(rc)) return true;
    }
    if (StatusFatal(rc)) Push(desc.source, desc.member, vdbreq::kCommunicationError);
    return false;
}
