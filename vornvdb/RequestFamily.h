// The request family as data: one descriptor per request (name, number,
// source group, policy) made from RequestFamily.def, and the field codes with
// the one routine per code that puts a value into a packet or takes it out.
//
// The members themselves (Cvdbkit1.cpp, Cvdbkit2.cpp, CVDBEXT.cpp,
// Cvdbint.cpp) are made from the same rows: each puts its inputs, runs
// CVDB::RequestExchange and takes its outputs when the policy says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vornvdb/CData.h"
#include "vornvdb/RequestMacros.h"

extern "C" {
struct VDBDEFREC;
struct VDBFIELDSPEC;
struct VDBTEXTSEPS;
struct VDBUSERPROFILE;
struct VDBDBCLUSTER;
struct VDBFIELDINFO;
struct VDBWINDOWHIT;
}

namespace vdbreq {

// ---------------------------------------------------------------------------
// Policies: when a member takes its outputs, and what a fatal status pushes.

enum class When : std::uint8_t {
    Ok,        // odd status
    NotFatal,  // any status that is not negative
    Item,      // status 1 or 3
    Posted,    // queued; the answer is never read
};

// A text pushed for one fatal status; the list ends with text == nullptr.
struct FatalText {
    std::int32_t status;
    const char* text;
};

struct Policy {
    When when;
    const FatalText* texts;    // looked up before "Communication Error"
    std::size_t minAnswerBytes;  // fewer left: "Invalid message block recieved", -2
};

inline constexpr FatalText kLoginTexts[] = {
    {-16, "User already logged in"},
    {-14, "VORNserver: execution of AseStartVORNserver failed"},
    {0, nullptr},
};
// The mark after "Can" is the acute accent of Windows-1252.
inline constexpr FatalText kInitTexts[] = {
    {-8, "Can\xB4t read host initialization file"},
    {0, nullptr},
};

inline constexpr Policy kPolicy_OK{When::Ok, nullptr, 0};
inline constexpr Policy kPolicy_NONFATAL{When::NotFatal, nullptr, 0};
inline constexpr Policy kPolicy_ITEM{When::Item, nullptr, 0};
inline constexpr Policy kPolicy_POSTED{When::Posted, nullptr, 0};
inline constexpr Policy kPolicy_LOGIN{When::NotFatal, kLoginTexts, 0};
inline constexpr Policy kPolicy_XLOGIN{When::Ok, kLoginTexts, 0};
inline constexpr Policy kPolicy_INIT{When::Ok, kInitTexts, 0};
inline constexpr Policy kPolicy_VERSION{When::NotFatal, nullptr, 4};

inline constexpr const char* kCommunicationError = "Communication Error";
inline constexpr const char* kInvalidBlock = "Invalid message block recieved";
inline constexpr const char* kOutOfMemory = "VORNclient: out of memory";

// ---------------------------------------------------------------------------
// Descriptors: vdbreq::<group>_<member>, e.g. vdbreq::Cvdbkit1_AddMember.

struct Desc {
    const char* member;   // method name of the texts pushed
    std::uint16_t number;
    const char* source;   // source group of the texts pushed
    Policy policy;
};

// The session core's requests, which have no row in the table: the start
// and end of a session and the encryption switch. With the table's rows they
// are every request number the kit sends and vornd serves.
namespace core {
inline constexpr std::uint16_t BeginVdbs = 101;
inline constexpr std::uint16_t EndVdbs = 102;
inline constexpr std::uint16_t StartVorn = 110;
inline constexpr std::uint16_t StopVorn = 111;
inline constexpr std::uint16_t SslInit = 3016;
inline constexpr std::uint16_t StopEncrypt = 3017;
}  // namespace core

#define VDB_DESC_(group, member, number, policy) \
    inline constexpr Desc group##_##member{#member, number, "vornvdb/" #group, kPolicy_##policy};
#define VDB_REQ(group, member, number, policy, ...) VDB_DESC_(group, member, number, policy)
#define VDB_REQW VDB_REQ
#define VDB_REQ2 VDB_REQ
#define VDB_OWN(group, member, number, policy) VDB_DESC_(group, member, number, policy)
#define VDB_KIT(group, member, number) VDB_DESC_(group, member, number, OK)
#include "vornvdb/RequestFamily.def"
#undef VDB_DESC_

// ---------------------------------------------------------------------------
// Field codes and the C++ types of their values.

struct u8 {};
struct u16 {};
struct u32 {};
struct s {};
struct l {};
struct x {};
struct def {};
struct fspec {};
struct seps {};
struct profile {};
struct cluster {};

template <class Code> struct Field;
template <> struct Field<u8> { using type = std::uint8_t; using in = type; };
template <> struct Field<u16> { using type = std::uint16_t; using in = type; };
template <> struct Field<u32> { using type = std::uint32_t; using in = type; };
template <> struct Field<s> { using type = CSTRING; using in = const type&; };
template <> struct Field<x> { using type = CSTRING; using in = const type&; };
template <> struct Field<l> { using type = CLSTRING; using in = const type&; };
template <> struct Field<def> { using type = VDBDEFREC; using in = const type&; };
template <> struct Field<fspec> { using type = VDBFIELDSPEC; using in = const type&; };
template <> struct Field<seps> { using type = VDBTEXTSEPS; using in = const type&; };
template <> struct Field<profile> { using type = VDBUSERPROFILE; using in = const type&; };
template <> struct Field<cluster> { using type = VDBDBCLUSTER; using in = const type&; };

template <class Code> using In = typename Field<Code>::in;
template <class Code> using Out = typename Field<Code>::type&;

// Putting a value sent by a request, in wire form.
inline void Put(CPACKET& p, u8, std::uint8_t v) { p.AppendU8(v); }
inline void Put(CPACKET& p, u16, std::uint16_t v) { p.AppendU16(v); }
inline void Put(CPACKET& p, u32, std::uint32_t v) { p.AppendU32(v); }
inline void Put(CPACKET& p, s, const CSTRING& v) { p.AppendShortItem(v); }
inline void Put(CPACKET& p, l, const CLSTRING& v) { p.AppendLongItem(v); }
void Put(CPACKET& p, x, const CSTRING& v);
void Put(CPACKET& p, def, const VDBDEFREC& v);
void Put(CPACKET& p, fspec, const VDBFIELDSPEC& v);
void Put(CPACKET& p, seps, const VDBTEXTSEPS& v);
void Put(CPACKET& p, profile, const VDBUSERPROFILE& v);
void Put(CPACKET& p, cluster, const VDBDBCLUSTER& v);

// Taking a value from an answer (missing bytes give 0 or "").
inline void Take(CPACKET& p, u8, std::uint8_t& v) { p.TakeU8(v); }
inline void Take(CPACKET& p, u16, std::uint16_t& v) { p.TakeU16(v); }
inline void Take(CPACKET& p, u32, std::uint32_t& v) { p.TakeU32(v); }
inline void Take(CPACKET& p, s, CSTRING& v) { p.TakeShortItem(v); }
inline void Take(CPACKET& p, l, CLSTRING& v) { p.TakeLongItem(v); }
void Take(CPACKET& p, def, VDBDEFREC& v);
void Take(CPACKET& p, fspec, VDBFIELDSPEC& v);
void Take(CPACKET& p, seps, VDBTEXTSEPS& v);
void Take(CPACKET& p, profile, VDBUSERPROFILE& v);
void Take(CPACKET& p, cluster, VDBDBCLUSTER& v);

}  // namespace vdbreq

// ---------------------------------------------------------------------------
// Member declarations and definitions from a row.

#define VDB_DECL_none(i, c)
#define VDB_DECL_in(i, c) vdbreq::In<vdbreq::c> a##i
#define VDB_DECL_out(i, c) vdbreq::Out<vdbreq::c> a##i
#define VDB_PUT_none(i, c)
#define VDB_PUT_in(i, c) vdbreq::Put(p, vdbreq::c{}, a##i);
#define VDB_PUT_out(i, c)
#define VDB_TAKE_none(i, c)
#define VDB_TAKE_in(i, c)
#define VDB_TAKE_out(i, c) vdbreq::Take(p, vdbreq::c{}, a##i);

#define VDB_MEMBER_DECL(member, ...) std::int32_t member(VDB_LIST(VDB_DECL, __VA_ARGS__));

#define VDB_MEMBER_DEF(group, member, ...)                              \
    std::int32_t CVDB::member(VDB_LIST(VDB_DECL, __VA_ARGS__)) {        \
        CPACKET p;                                                      \
        VDB_SEQ(VDB_PUT, __VA_ARGS__)                                   \
        std::int32_t rc = 0;                                            \
        if (RequestExchange(vdbreq::group##_##member, p, rc)) {         \
            VDB_SEQ(VDB_TAKE, __VA_ARGS__)                              \
        }                                                               \
        return rc;                                                      \
    }

// The rows of the group whose VDB_KEEP_<group>(code) gives `code` become
// member definitions; see RequestMembers.inc.
