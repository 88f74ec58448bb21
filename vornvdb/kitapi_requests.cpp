// The C API's request wrappers: one flat function per member of the session.
// Most are made from the rows of RequestFamily.def; the members with arrays,
// loops, in/out texts or the symbol cache have theirs written out below.
//
// Every wrapper checks the handle (an invalid one gives 0 and a kit-log
// line), turns the C inputs into kit items, calls the member, copies the
// outputs into the caller's buffers and returns the member's status.
#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "vornvdb/Cvdb.h"
#include "vornvdb/VdbApi.h"
#include "vornvdb/vornkit.h"

namespace {

// Runs `body` on the session behind a live handle; an invalid handle gives 0
// (and its kit-log line), an escaping exception a communication failure.
template <class Body>
std::int32_t Call(HVDB hvdb, Body&& body) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(hvdb);
        return vdb ? body(*vdb) : 0;
    });
}

// ---- Inputs: C values to the member's parameter types.

inline std::uint8_t InArg(vdbreq::u8, std::uint8_t v) { return v; }
inline std::uint16_t InArg(vdbreq::u16, std::uint16_t v) { return v; }
inline std::uint32_t InArg(vdbreq::u32, std::uint32_t v) { return v; }
inline CSTRING InArg(vdbreq::s, const char* text) { return CSTRING(text ? text : ""); }
inline CSTRING InArg(vdbreq::x, const char* text) { return CSTRING(text ? text : ""); }

// A missing input record counts as one of zeros.
template <class R>
const R& RecordIn(const R* record) {
    static const R empty{};
    return record ? *record : empty;
}
inline const VDBDEFREC& InArg(vdbreq::def, const VDBDEFREC* r) { return RecordIn(r); }
inline const VDBFIELDSPEC& InArg(vdbreq::fspec, const VDBFIELDSPEC* r) { return RecordIn(r); }
inline const VDBTEXTSEPS& InArg(vdbreq::seps, const VDBTEXTSEPS* r) { return RecordIn(r); }
inline const VDBUSERPROFILE& InArg(vdbreq::profile, const VDBUSERPROFILE* r) { return RecordIn(r); }
inline const VDBDBCLUSTER& InArg(vdbreq::cluster, const VDBDBCLUSTER* r) { return RecordIn(r); }

// ---- Outputs: a place for the member to write, copied to the caller after.

// A number: starts as the caller's value, written back when there is a place.
template <class T>
class OutNumber {
public:
    explicit OutNumber(T* target) : target_(target), value_(target ? *target : T()) {}
    T& ref() { return value_; }
    void finish() {
        if (target_) *target_ = value_;
    }

private:
    T* target_;
    T value_;
};

// A text: copied out cut to size - 1 characters and terminated.
class OutText {
public:
    OutText(char* buffer, std::uint16_t size) : buffer_(buffer), size_(size) {}
    CSTRING& ref() { return value_; }
    void finish() {
        if (buffer_) value_.CopyOut(buffer_, size_);
    }

private:
    char* buffer_;
    std::uint16_t size_;
    CSTRING value_;
};

// A record: the member writes into the caller's record, or into a scratch
// one when the caller passed none.
template <class R>
class OutRecord {
public:
    explicit OutRecord(R* target) : target_(target) {
        if (!target_) {
            scratch_.reset(new R());
            target_ = scratch_.get();
        }
    }
    R& ref() { return *target_; }
    void finish() {}

private:
    R* target_;
    std::unique_ptr<R> scratch_;
};

template <class Code> struct OutFor;
template <> struct OutFor<vdbreq::u8> { using type = OutNumber<std::uint8_t>; };
template <> struct OutFor<vdbreq::u16> { using type = OutNumber<std::uint16_t>; };
template <> struct OutFor<vdbreq::u32> { using type = OutNumber<std::uint32_t>; };
template <> struct OutFor<vdbreq::s> { using type = OutText; };
template <> struct OutFor<vdbreq::def> { using type = OutRecord<VDBDEFREC>; };
template <> struct OutFor<vdbreq::fspec> { using type = OutRecord<VDBFIELDSPEC>; };
template <> struct OutFor<vdbreq::seps> { using type = OutRecord<VDBTEXTSEPS>; };
template <> struct OutFor<vdbreq::profile> { using type = OutRecord<VDBUSERPROFILE>; };
template <> struct OutFor<vdbreq::cluster> { using type = OutRecord<VDBDBCLUSTER>; };

// A text copied into a fixed field: zero-filled, cut to size - 1, terminated.
template <std::size_t N>
void CopyField(char (&field)[N], const CSTRING& text) {
    std::memset(field, 0, N);
    text.CopyOut(field, N);
}

// A fixed C text field that may lack its terminator.
template <std::size_t N>
CSTRING FieldText(const char (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0') ++length;
    return CSTRING(field, length);
}

}  // namespace

// ---------------------------------------------------------------------------
// Wrappers made from the family table.

#define VDB_CLOCAL_none(i, c)
#define VDB_CLOCAL_in(i, c) const auto& v##i = InArg(vdbreq::c{}, a##i);
#define VDB_CLOCAL_out(i, c) OutFor<vdbreq::c>::type v##i(VDB_CARGS_##c(a##i));
#define VDB_CARG_none(i, c)
#define VDB_CARG_in(i, c) v##i
#define VDB_CARG_out(i, c) v##i.ref()
#define VDB_CDONE_none(i, c)
#define VDB_CDONE_in(i, c)
#define VDB_CDONE_out(i, c) v##i.finish();
#define VDB_CARGS_u8(n) n
#define VDB_CARGS_u16(n) n
#define VDB_CARGS_u32(n) n
#define VDB_CARGS_s(n) n, n##Size
#define VDB_CARGS_def(n) n
#define VDB_CARGS_fspec(n) n
#define VDB_CARGS_seps(n) n
#define VDB_CARGS_profile(n) n
#define VDB_CARGS_cluster(n) n

#define VDB_WRAPPER(cname, member, ...)                                          \
    extern "C" std::int32_t cname(HVDB hvdb VDB_SEQ(VDB_CPARAM, __VA_ARGS__)) { \
        return Call(hvdb, [&](CVDB& vdb) {                                       \
            VDB_SEQ(VDB_CLOCAL, __VA_ARGS__)                                     \
            std::int32_t rc = vdb.member(VDB_LIST(VDB_CARG, __VA_ARGS__));       \
            VDB_SEQ(VDB_CDONE, __VA_ARGS__)                                      \
            return rc;                                                           \
        });                                                                      \
    }

#define VDB_REQ(group, member, number, policy, ...) VDB_WRAPPER(Vdb##member, member, __VA_ARGS__)
#define VDB_REQW(group, member, number, policy, ...)
#define VDB_REQ2(group, member, number, policy, ...) VDB_WRAPPER(Vdb##member##2, member, __VA_ARGS__)
#define VDB_OWN(group, member, number, policy)
#define VDB_KIT(group, member, number)
#include "vornvdb/RequestFamily.def"

// ---------------------------------------------------------------------------
// Wrappers written out.

// Symbol answers are kept per session: a symbol asked before is answered
// from the cache with status 1 and no request. Entries hold 16 characters,
// so a longer answer comes back whole only the first time.
extern "C" std::int32_t VdbShellSymbol(HVDB hvdb, const char* a1, char* a2, std::uint16_t a2Size) {
    return Call(hvdb, [&](CVDB& vdb) {
        std::string symbol(a1 ? a1 : "");
        auto& cache = vdb.SymbolCache();
        auto found = cache.find(symbol);
        if (found != cache.end()) {
            if (a2) CSTRING(found->second.value).CopyOut(a2, a2Size);
            return std::int32_t{kVdbOk};
        }
        CSTRING value;
        std::int32_t rc = vdb.ShellSymbol(CSTRING(symbol.c_str()), value);
        if (a2) value.CopyOut(a2, a2Size);
        if (rc % 2 == 0) return rc;
        SYMBOLENTRY entry{};
        CSTRING(symbol.c_str()).CopyOut(entry.key, sizeof entry.key);
        value.CopyOut(entry.value, sizeof entry.value);
        cache.emplace(symbol, entry);
        return std::int32_t{kVdbOk};
    });
}

extern "C" std::int32_t VdbSetComforterInterval(HVDB hvdb, std::uint32_t interval, VDBBREAKPROC callback) {
    return Call(hvdb, [&](CVDB& vdb) { return vdb.SetComforterInterval(interval, callback); });
}

extern "C" std::int32_t VdbExecuteCcl(HVDB hvdb, const char* command, std::uint32_t* result) {
    return Call(hvdb, [&](CVDB& vdb) {
        OutNumber<std::uint32_t> out(result);
        std::int32_t rc = vdb.ExecuteCcl(InArg(vdbreq::s{}, command), out.ref());
        out.finish();
        return rc;
    });
}

extern "C" std::int32_t VdbCommandBreak(HVDB hvdb, const char* command, std::uint32_t* result, char* text1,
                                        std::uint16_t text1Size, char* text2, std::uint16_t text2Size) {
    return Call(hvdb, [&](CVDB& vdb) {
        OutNumber<std::uint32_t> out(result);
        OutText out1(text1, text1Size), out2(text2, text2Size);
        std::int32_t rc = vdb.CommandBreak(InArg(vdbreq::s{}, command), out.ref(), out1.ref(), out2.ref());
        out.finish();
        out1.finish();
        out2.finish();
        return rc;
    });
}

extern "C" std::int32_t VdbGetMembers(HVDB hvdb, std::uint32_t* size, char* list, std::uint16_t listSize) {
    return Call(hvdb, [&](CVDB& vdb) {
        OutNumber<std::uint32_t> length(size);
        OutText text(list, listSize);
        std::int32_t rc = vdb.GetMembers(length.ref(), text.ref());
        length.finish();
        text.finish();
        return rc;
    });
}

extern "C" std::int32_t VdbGetFieldInfo(HVDB hvdb, std::uint32_t a, std::uint32_t b, char* name,
                                        std::uint16_t nameSize, std::uint32_t* count, const VDBFIELDINFO** pairs,
                                        std::uint32_t* last) {
    return Call(hvdb, [&](CVDB& vdb) {
        OutText outName(name, nameSize);
        OutNumber<std::uint32_t> outCount(count), outLast(last);
        const VDBFIELDINFO* array = pairs ? *pairs : nullptr;
        std::int32_t rc = vdb.GetFieldInfo(a, b, outName.ref(), outCount.ref(), array, outLast.ref());
        outName.finish();
        outCount.finish();
        outLast.finish();
        if (pairs) *pairs = array;
        return rc;
    });
}

extern "C" std::int32_t VdbGetWindowHits(HVDB hvdb, std::uint32_t window, std::uint32_t* count,
                                         const VDBWINDOWHIT** hits) {
    return Call(hvdb, [&](CVDB& vdb) {
        OutNumber<std::uint32_t> outCount(count);
        const VDBWINDOWHIT* array = hits ? *hits : nullptr;
        std::int32_t rc = vdb.GetWindowHits(window, outCount.ref(), array);
        outCount.finish();
        if (hits) *hits = array;
        return rc;
    });
}

extern "C" std::int32_t VdbSFormFD(HVDB hvdb, char* text, std::uint16_t textSize, const std::uint32_t values[31],
                                   std::uint32_t last) {
    return Call(hvdb, [&](CVDB& vdb) {
        // The text is read from the buffer that receives the answer; it
        // ends at its terminator or at the buffer's end.
        std::size_t length = 0;
        while (text && length < textSize && text[length] != '\0') ++length;
        CSTRING value(text ? text : "", length);
        std::uint32_t numbers[31] = {};
        if (values) std::memcpy(numbers, values, sizeof numbers);
        std::int32_t rc = vdb.SFormFD(value, numbers, last);
        if (text) value.CopyOut(text, textSize);
        return rc;
    });
}

extern "C" std::int32_t VdbXmlApi(HVDB hvdb, const char* request, char** answer) {
    return Call(hvdb, [&](CVDB& vdb) {
        CLSTRING document;
        std::int32_t rc = vdb.XmlApi(CLSTRING(request ? request : ""), document);
        if (rc % 2 == 0 || !answer) return rc;
        std::size_t length = document.Length();
        auto* block = static_cast<char*>(plat::heapAlloc(length + 1));
        if (!block) {
            // The answer is lost: a failure, not the invalid handle's 0.
            const vdbreq::Desc& desc = vdbreq::Cvdbkit2_XmlApi;
            vdb.Push(desc.source, desc.member, vdbreq::kOutOfMemory);
            return std::int32_t{kVdbComm};
        }
        if (length) std::memcpy(block, document.Data(), length);
        *answer = block;
        return rc;
    });
}

extern "C" std::int32_t VdbImport(HVDB hvdb, XmlRequest* request) {
    return Call(hvdb, [&](CVDB& vdb) {
        if (!request) return std::int32_t{0};
        EXPORTRECORD record;
        record.a = request->head1;
        record.b = request->head2;
        record.c = request->head3;
        record.name = FieldText(request->command);
        record.text2 = FieldText(request->subject);
        if (request->document && request->documentLength > 0)
            record.data = CLSTRING(request->document, static_cast<std::size_t>(request->documentLength));
        if (request->text && request->textLength > 0)
            record.text = CSTRING(request->text, static_cast<std::size_t>(request->textLength));
        record.d = request->rows;
        record.e = request->flags;
        record.f = request->block;
        request->status = 0;
        if (request->flags & VDB_EXPORT_LOCAL) return RunFilterRoutine(request, hvdb);
        std::int32_t rc = vdb.Import(record);
        request->head1 = record.a;
        request->head2 = record.b;
        request->head3 = record.c;
        request->block = record.f;
        request->status = record.result2;
        CopyField(request->message, record.message);
        return rc;
    });
}
