// The session core: construction and end, the exchange, the deferred queue,
// the notification loop, the handshake requests and the status tests.
#include "vornvdb/Cvdb.h"

#include "log/VCLogger.h"
#include "platform/msgbox.h"
#include "platform/platform.h"
#include "vornvdb/CErrStack.h"
#include "vornvdb/ScrambleKey.h"

#include <cstdio>
#include <cstring>

namespace {

const char kSource[] = "vornvdb/Cvdbpriv";
const char kCommError[] = "Communication Error";
const char kMismatch[] = "Client and server versions mismatched (Client/Server) : ";
const char kNotifyContinue[] = "<NOTIFY_RES OP=\"CONTINUE\"/>";

constexpr std::uint16_t kBeginVdbs = vdbreq::core::BeginVdbs;
constexpr std::uint16_t kEndVdbs = vdbreq::core::EndVdbs;
constexpr std::uint16_t kStartVorn = vdbreq::core::StartVorn;
constexpr std::uint16_t kStopVorn = vdbreq::core::StopVorn;
constexpr std::uint16_t kSslInit = vdbreq::core::SslInit;
constexpr std::uint16_t kStopEncrypt = vdbreq::core::StopEncrypt;
constexpr std::uint16_t kExport = vdbreq::Cvdbkit1_Export.number;
constexpr std::uint16_t kXVersion = vdbreq::CVDBEXT_XVersion.number;

// Start refusals that reach the caller without a text of their own.
bool silentRefusal(std::int32_t rc) { return rc == 16898 || rc == 26114; }

struct StatusText {
    std::int32_t status;
    const char* text;
};

// The handshake's texts for failures; -4 gets the versions appended.
const StatusText kHandshakeTexts[] = {
    {-12, "VORNserver: unable to change host user"},
    {-8, "Can\xB4t read host initialization file"},
    {-6, "Server initialization failed"},
    {-4, kMismatch},
    {-2, kCommError},
};

// The default notification handler: always go on.
int defaultNotify(void*, const char*, std::uint32_t, char** reply) {
    auto* block = static_cast<char*>(plat::heapAlloc(64));
    if (block) std::memcpy(block, kNotifyContinue, sizeof kNotifyContinue);
    *reply = block;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and end

CVDB::CVDB(const VDBCONFIG& config)
    : link_(config), errStack_(config.errStack), startText_(config.startText) {
    notify_ = defaultNotify;
    notifyData_ = this;
    if (!link_.IsOk()) {
        status_ = kVdbComm;
        broken_ = 1;
    }
}

CVDB::CVDB(const VDBCONFIG& config, std::uint8_t beginMode) : CVDB(config) {
    compatibility_ = 1;
    if (!broken_) status_ = BeginVdbs(beginMode, config.startText);
}

CVDB::CVDB(const VDBCONFIG& config, const CSTRING& user, const CSTRING& password, std::uint32_t number,
           std::uint32_t startFlags)
    : CVDB(config) {
    startedWithStartVorn_ = 1;
    if (!broken_) status_ = StartVorn(user, password, number, startFlags, config.startText);
}

CVDB::~CVDB() {
    if (endDue_) {
        if (startedWithStartVorn_)
            StopVorn();
        else
            EndVdbs();
    }
    symbols_.clear();
    for (void*& r : results_) {
        plat::heapFree(r);
        r = nullptr;
    }
    ClearDeferred(deferred_.getCount());
    deferred_.release();
}

int CVDB::BreakPoll(std::uint16_t value) {
    if (breakCallback_) return breakCallback_(value, breakData_);
    bool escape = plat::escapeKeyPressed();
    if (breakRequested_ || escape) {
        breakRequested_ = 0;
        return 0;
    }
    return 1;
}

void CVDB::ResetBreakKey() { plat::escapeKeyPressed(); }

void CVDB::SetNotifyHandler(VDBNOTIFYPROC handler, void* data) {
    if (handler) {
        notify_ = handler;
        notifyData_ = data;
    } else {
        notify_ = defaultNotify;
        notifyData_ = this;
    }
}

CSTRING CVDB::ClientVersion() const {
    char text[32];
    if (compatibility_)
        std::snprintf(text, sizeof text, "2.0-%.4d", 250);
    else
        std::snprintf(text, sizeof text, "%d.%d-%.4d", 2, 3, 250);
    return CSTRING(text);
}

CPACKET CVDB::Scramble(const CSTRING& text) const {
    unsigned char bytes[vornwire::kScrambleLength];
    vornwire::ScrambleBytes(text.c_str(), bytes);
    return CPACKET(bytes, sizeof bytes);
}

void CVDB::Push(const char* source, const char* method, const char* text) const {
    // The session's own reports name "?" when they have no source.
    if (errStack_) errStack_->Push(source && *source ? source : "?", method, text);
}

void* CVDB::ResultBuffer(int slot, std::size_t bytes) {
    if (slot < 0 || slot > 1) return nullptr;
    plat::heapFree(results_[slot]);
    results_[slot] = plat::heapAlloc(bytes ? bytes : 1);
    return results_[slot];
}

// ---------------------------------------------------------------------------
// Status tests

void CVDB::ReportLog(bool fatal, std::int32_t rc, const char* format) const {
    IVCLogger* log = KitLogFor(kTraceRequests);
    if (!log) return;
    if (fatal)
        log->Fatal("", SessionId(), rc, format, rc);
    else
        log->Error("", SessionId(), rc, format, rc);
}

bool CVDB::StatusOk(std::int32_t rc) const {
    if (rc & 1) return true;
    ReportLog(false, rc, rc == kVdbBusy ? "Cannot send request - tranciever is busy." : "ERROR #%d");
    return false;
}

bool CVDB::StatusFatal(std::int32_t rc) const {
    if (rc < 0) {
        ReportLog(true, rc, "Fatal error #%d");
        return true;
    }
    if (!(rc & 1)) ReportLog(false, rc, "Non-fatal error (rc=%d)");
    return false;
}

bool CVDB::StatusError(std::int32_t rc) const {
    if (rc & 1) return false;
    ReportLog(false, rc, "ERROR #%d");
    return true;
}

// ---------------------------------------------------------------------------
// The exchange

std::int32_t CVDB::Gate() {
    std::int32_t code = broken_ ? kVdbComm : (busy_ ? kVdbBusy : kVdbOk);
    StatusOk(code);
    return code;
}

std::int32_t CVDB::Exchange(std::uint16_t number, CPACKET& packet) {
    answered_ = false;
    std::int32_t rc = Gate();
    if (rc != kVdbOk) return rc;
    busy_ = 1;
    rc = CallAndListen(vornwire::kKindRequest, number, packet);
    busy_ = 0;
    return rc;
}

std::int32_t CVDB::CallAndListen(std::uint8_t kind, std::uint16_t number, CPACKET& packet) {
    answered_ = false;
    std::int32_t rc = broken_ ? kVdbComm : kVdbOk;
    if (StatusOk(rc)) {
        if (!notify_) SetNotifyHandler(nullptr, nullptr);
        FlushDeferred();
        rc = vornwire::AddHeader(packet, kind, number);
        if (broken_) {
            rc = kVdbComm;  // the flush broke the session
        } else if (StatusFatal(rc) || !link_.SendFrame(packet)) {
            Push(kSource, "CallAndListen", "Unable to write to communication port");
            rc = kVdbComm;
        } else if (link_.ReceiveFrame(packet)) {
            answered_ = true;
            rc = ParseAnswer(number, packet);
            if (StatusFatal(rc)) broken_ = 1;
            return rc;
        } else {
            Push(kSource, "CallAndListen", "Unable to read from communication port");
            rc = kVdbComm;
        }
    }
    if (StatusFatal(rc)) broken_ = 1;
    return rc;
}

std::int32_t CVDB::ParseAnswer(std::uint16_t expected, CPACKET& packet) {
    std::uint8_t kind = 0;
    packet.TakeU8(kind);
    if (kind != vornwire::kKindNotify && kind != vornwire::kKindRequest) {
        message_.Assign("");
        return kVdbComm;
    }
    std::uint16_t number = 0;
    std::uint32_t status = 0;
    packet.TakeU16(number).TakeU32(status).TakeShortItem(message_);
    status_ = static_cast<std::int32_t>(status);
    // Only the XML request is answered with notifications: one to any other
    // request is a server out of step with the session.
    if (kind == vornwire::kKindNotify) return expected == vdbreq::Cvdbkit2_XmlApi.number ? kVdbNotify : kVdbComm;
    return number == expected ? static_cast<std::int32_t>(status) : kVdbComm;
}

std::int32_t CVDB::PostRequest(std::uint8_t kind, std::uint16_t number, const CPACKET& packet) {
    if (broken_) return kVdbComm;
    auto* copy = new (std::nothrow) CPACKET(packet);
    if (!copy) return kVdbComm;
    std::int32_t rc = vornwire::AddHeader(*copy, kind, number);
    if (rc != kVdbOk || !deferred_.append(copy)) {
        delete copy;
        return rc != kVdbOk ? rc : kVdbComm;
    }
    return rc;
}

void CVDB::ClearDeferred(std::int32_t upTo) {
    for (std::int32_t i = 0; i < upTo && deferred_.getCount() > 0; ++i) {
        delete deferred_.at<CPACKET>(0);
        deferred_.removeAt(0);
    }
}

std::int32_t CVDB::FlushDeferred() {
    std::int32_t i = 0;
    for (; i < deferred_.getCount() && !broken_; ++i) {
        CPACKET copy(*deferred_.at<CPACKET>(i));
        const char* failure = nullptr;
        if (!link_.SendFrame(copy))
            failure = "Unable to write to communication port";
        else if (!link_.ReceiveFrame(copy))
            failure = "Unable to read from communication port";
        if (failure) {
            Push(kSource, "CallAndListen", failure);
            broken_ = 1;
            ClearDeferred(i + 1);
            return kVdbComm;
        }
    }
    ClearDeferred(deferred_.getCount());
    return kVdbOk;
}

std::int32_t CVDB::RunNotifications(std::uint16_t number, CPACKET& packet, std::int32_t rc) {
    while (rc == kVdbNotify) {
        CLSTRING text;
        packet.TakeLongItem(text);
        char* reply = nullptr;
        notify_(notifyData_, text.Data(), static_cast<std::uint32_t>(text.Length()), &reply);
        if (!reply) defaultNotify(this, nullptr, 0, &reply);
        packet.Clear();
        packet.AppendLongItem(CLSTRING(reply, reply ? std::strlen(reply) : 0));
        plat::heapFree(reply);
        rc = CallAndListen(vornwire::kKindNotify, number, packet);
    }
    return rc;
}

bool CVDB::RequestExchange(const vdbreq::Desc& desc, CPACKET& packet, std::int32_t& rc) {
    const vdbreq::Policy& policy = desc.policy;
    if (policy.when == vdbreq::When::Posted) {
        rc = PostRequest(vornwire::kKindRequest, desc.number, packet);
        if (StatusFatal(rc)) Push(desc.source, desc.member, kCommError);
        return false;
    }
    rc = Exchange(desc.number, packet);
    bool take;
    switch (policy.when) {
    case vdbreq::When::NotFatal: take = !StatusFatal(rc); break;
    case vdbreq::When::Item: take = StatusOk(rc) && (rc == 1 || rc == 3); break;
    default: take = StatusOk(rc); break;
    }
    // A request refused at the gate (busy) was never answered: the packet
    // still holds the request, so there is nothing to take.
    if (!answered_) take = false;
    if (!take && (policy.when == vdbreq::When::NotFatal ? rc < 0 : StatusFatal(rc))) {
        const char* text = kCommError;
        for (const vdbreq::FatalText* t = policy.texts; t && t->text; ++t)
            if (t->status == rc) text = t->text;
        Push(desc.source, desc.member, text);
        return false;
    }
    if (take && packet.Length() < policy.minAnswerBytes) {
        Push(desc.source, desc.member, vdbreq::kInvalidBlock);
        rc = kVdbComm;
        return false;
    }
    return take;
}

// ---------------------------------------------------------------------------
// Handshake and end

std::int32_t CVDB::HandshakeResult(std::int32_t rc, const char* method) {
    if (!StatusError(rc)) {
        symbols_.clear();
        return rc;
    }
    if (silentRefusal(rc)) return rc;
    for (const StatusText& t : kHandshakeTexts) {
        if (t.status != rc) continue;
        CSTRING text(t.text);
        if (rc == kVdbMismatch) {
            text.Append(ClientVersion());
            text.Append("/");
            text.Append(message_);
        }
        Push(kSource, method, text.c_str());
        return rc;
    }
    Push(kSource, method, message_.Length() ? message_.c_str() : "Unknown error");
    return kVdbComm;
}

template <class FillArgs>
std::int32_t CVDB::StartExchange(std::uint16_t number, FillArgs fillArgs) {
    std::int32_t rc = kVdbComm;
    for (int attempt = 0; attempt < 2; ++attempt) {
        work_.Clear();
        fillArgs();
        rc = Exchange(number, work_);
        if (rc != kVdbMismatch || attempt == 1) break;
        compatibility_ = 1;
        broken_ = 0;
    }
    return rc;
}

std::int32_t CVDB::StartVorn(const CSTRING& user, const CSTRING& password, std::uint32_t number,
                             std::uint32_t startFlags, const CSTRING& startText) {
    std::int32_t rc = StartExchange(kStartVorn, [&] {
        if (startFlags & 1)
            work_.AppendShortItem(Scramble(user));
        else
            work_.AppendShortItem(user);
        work_.AppendShortItem(Scramble(password)).AppendU32(number).AppendShortItem(ClientVersion());
        work_.AppendShortItem(startText);
        if (!compatibility_) work_.AppendU32(startFlags);
    });
    return HandshakeResult(rc, "StartVorn");
}

std::int32_t CVDB::BeginVdbs(std::uint8_t beginMode, const CSTRING& startText) {
    std::int32_t rc = StartExchange(kBeginVdbs, [&] {
        work_.AppendU8(beginMode).AppendShortItem(ClientVersion()).AppendShortItem(startText);
    });
    if (rc == 5) {
        // An old server announces itself as V1.0 in the message.
        const char* v = std::strstr(message_.c_str(), "V1.0");
        if (v) {
            CSTRING text(kMismatch);
            text.Append(ClientVersion());
            text.Append("/");
            text.Append(v + 1);
            Push(kSource, "BeginVdbs", text.c_str());
            return kVdbMismatch;
        }
    }
    return HandshakeResult(rc, "BeginVdbs");
}

std::int32_t CVDB::EndRequest(std::uint16_t number, const char* method) {
    bool wasBroken = broken_ != 0;
    work_.Clear();
    work_.AppendU8(static_cast<std::uint8_t>(endMode_));
    std::int32_t rc = Exchange(number, work_);
    if (StatusError(rc) && errStack_ && !wasBroken) Push(kSource, method, kCommError);
    endDue_ = 0;
    return rc;
}

std::int32_t CVDB::EndVdbs() { return EndRequest(kEndVdbs, "EndVdbs"); }
std::int32_t CVDB::StopVorn() { return EndRequest(kStopVorn, "StopVorn"); }

std::int32_t CVDB::SslInit() {
    std::uint32_t value = 0;
    CLSTRING block1, block2;
    if (!link_.CipherInit(value, block1, block2)) {
        Push(kSource, "SslInit", "Encryption initialization error");
        return kVdbEncryption;
    }
    work_.Clear();
    work_.AppendU32(value).AppendLongItem(block1).AppendLongItem(block2);
    std::int32_t rc = Exchange(kSslInit, work_);
    if (!StatusOk(rc)) {
        Push(kSource, "SslInit", kCommError);
        return rc;
    }
    CLSTRING answer1, answer2;
    work_.TakeLongItem(answer1).TakeLongItem(answer2);
    if (!link_.CipherOpen(answer1, answer2)) {
        Push(kSource, "OpenEncryption", "Encryption initialization error");
        return kVdbEncryption;
    }
    return rc;
}

std::int32_t CVDB::StopEncrypt() {
    work_.Clear();
    std::int32_t rc = Exchange(kStopEncrypt, work_);
    if (StatusError(rc)) Push(kSource, "StopEncrypt", kCommError);
    return rc;
}

// ---------------------------------------------------------------------------
// Members of the session core

std::int32_t CVDB::Export(EXPORTRECORD& r) {
    CPACKET p;
    p.AppendU32(r.a).AppendU32(r.b).AppendU32(r.c).AppendShortItem(r.name).AppendShortItem(r.text2);
    p.AppendLongItem(r.data).AppendLongItem(CLSTRING(r.text));
    p.AppendU32(r.d).AppendU32(r.e).AppendU32(r.f);
    std::int32_t rc = Exchange(kExport, p);
    // Error answers carry the message and numbers the caller reports, so the
    // outputs are taken whenever an answer came back.
    if (answered_) {
        CLSTRING text;
        p.TakeU32(r.a).TakeU32(r.b).TakeU32(r.c).TakeLongItem(r.data).TakeLongItem(text);
        r.text.Assign(CSTRING(text.Data(), text.Data() ? strnlen(text.Data(), text.Length()) : 0));
        p.TakeU32(r.f).TakeU32(r.result2).TakeShortItem(r.message);
        if (p.Underrun()) {
            // A length field that promises more than the frame holds: what
            // was taken cannot be trusted, and neither can the stream.
            Push("vornvdb/Cvdbkit1", "Export", "Answer shorter than its fields say");
            r.data.Assign("");
            r.text.Assign("");
            broken_ = 1;
            rc = kVdbComm;
        }
    } else {
        // No answer: nothing to hand back but the status.
        r.data.Assign("");
        r.text.Assign("");
        r.message.Assign("");
        r.result2 = 0;
    }
    if (StatusFatal(rc)) Push("vornvdb/Cvdbkit1", "Export", kCommError);
    return rc;
}

std::int32_t CVDB::XVersion(CSTRING& server1, CSTRING& server2, CSTRING& client) {
    client = ClientVersion();
    CPACKET p;
    static constexpr vdbreq::Desc kDesc{"XVersion", kXVersion, "vornvdb/CVDBEXT",
                                         vdbreq::Policy{vdbreq::When::NotFatal, nullptr, 8}};
    std::int32_t rc = 0;
    if (RequestExchange(kDesc, p, rc)) p.TakeShortItem(server1).TakeShortItem(server2);
    return rc;
}

std::int32_t CVDB::Message(std::uint32_t status, CSTRING& text) {
    CPACKET p;
    p.AppendU32(status);
    std::int32_t rc = 0;
    if (RequestExchange(vdbreq::Cvdbkit2_Message, p, rc)) p.TakeShortItem(text);
    return rc;
}
