// The comms link; see CComLink.h.
#include "vornvdb/CComLink.h"

#include "Com/tls/Tlscom.h"
#include "log/VCLogger.h"
#include "vornvdb/CErrStack.h"

#include <cctype>
#include <cstdio>

namespace {

const COMENTRIES kTcpModule = {StartNetCon,  StopNetCon,         OpenNetCon,    CloseNetCon,
                               PingNetCon,   BlockingHookNetCon, ReceiveNetCon, SendNetCon};

const COMENTRIES kTlsModule = {StartNetCon,   StopNetCon,         OpenTlsNetCon,    CloseTlsNetCon,
                               PingTlsNetCon, BlockingHookNetCon, ReceiveTlsNetCon, SendTlsNetCon};

bool isTlsModule(const CSTRING& name) {
    static const char kName[] = "tls.dll";
    const char* p = name.c_str();
    std::size_t i = 0;
    for (; kName[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(p[i])) != kName[i]) return false;
    return p[i] == '\0';
}

constexpr std::size_t kKeptFrame = 64 * 1024;

std::uint16_t asU16(std::uint32_t v) { return static_cast<std::uint16_t>(v > 0xFFFF ? 0xFFFF : v); }

}  // namespace

CCOMLINK::CCOMLINK(const VDBCONFIG& config)
    : errStack_(config.errStack),
      maxBody_(config.maxFrameLength ? config.maxFrameLength : vornwire::kMaxFrameLength),
      entries_(kTcpModule) {
    SetKitTraceFlags(config.traceFlags);
    const bool tls = isTlsModule(config.commsModule);
    if (tls) entries_ = kTlsModule;
    if (entries_.start(errStack_)) {
        const auto trace = static_cast<std::int16_t>(config.traceFlags & 0xFFFF);
        if (tls) {
            // The open entry cannot carry the settings; the module takes them here.
            plat::tls::Settings settings;
            settings.verify = !config.trustServer;
            settings.caFile = config.caFile.c_str();
            settings.hostName = config.tlsHost.c_str();
            con_ = OpenTlsNetConWith(config.service.c_str(), config.host.c_str(), errStack_, trace,
                                     asU16(config.receiveTimeout), asU16(config.sendTimeout), settings);
        } else {
            con_ = entries_.open(config.service.c_str(), config.host.c_str(), errStack_, trace,
                                 asU16(config.receiveTimeout), asU16(config.sendTimeout));
        }
    }
    ok_ = con_ ? 1 : 0;
}

CCOMLINK::~CCOMLINK() {
    if (con_) {
        if (cipherOn_ && cipher_.close) cipher_.close(con_);
        entries_.close(con_);
    }
    con_ = nullptr;
    ok_ = entries_.stop(errStack_) ? 1 : 0;
}

bool CCOMLINK::SendFrame(CPACKET& packet) {
    if (!entries_.send || !con_) return (ok_ = 0) != 0;
    std::size_t body = packet.Length();
    if (body > vornwire::kMaxFrameLength - 4) {
        if (errStack_) errStack_->Push("Com/wsa11/Wsa11com", "SendFrame", NetErrorText(-4));
        return (ok_ = 0) != 0;
    }
    unsigned char header[4];
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(body), header);
    bool sent;
    if (cipherOn_) {
        sent = entries_.send(con_, 0, header, 4) &&
               entries_.send(con_, 1, packet.Data(), static_cast<std::uint32_t>(body));
    } else {
        // One send call per frame: a header apart would be a segment apart.
        frame_.Consume(frame_.Length());
        frame_.AppendBytes(header, 4).Append(packet);
        sent = frame_.Length() == body + 4 &&
               entries_.send(con_, 0, frame_.Data(), static_cast<std::uint32_t>(frame_.Length()));
    }
    ok_ = sent ? 1 : 0;
    if (frame_.Length() > kKeptFrame) frame_.Clear();  // a large request's memory is not kept
    if (sent) packet.Assign("");
    return sent;
}

bool CCOMLINK::ReceiveFrame(CPACKET& packet) {
    if (!entries_.receive) return false;
    unsigned char header[4];
    std::uint32_t body = 0;
    bool got = con_ && entries_.receive(con_, 0, header, 4);
    if (got && !vornwire::DecodeFrameHeader(header, body)) {
        // A length that cannot describe a frame, or one too large to be
        // honest: nothing is allocated for it.
        if (errStack_) errStack_->Push("Com/wsa11/Wsa11com", "ReceiveFrame", NetErrorText(-4));
        got = false;
    }
    if (got && body > maxBody_) {
        // Refused before the body is read: the application asked for less.
        if (errStack_) {
            char text[120];
            std::snprintf(text, sizeof text, "Answer of %lu bytes is larger than the %lu bytes allowed",
                          static_cast<unsigned long>(body), static_cast<unsigned long>(maxBody_));
            errStack_->Push("Com/wsa11/Wsa11com", "ReceiveFrame", text);
        }
        got = false;
    }
    if (got) {
        if (!packet.Resize(body)) {
            if (errStack_) errStack_->Push("Com/wsa11/Wsa11com", "ReceiveFrame", CSYSERR("malloc", 0).c_str());
            got = false;
        } else {
            got = entries_.receive(con_, cipherOn_, packet.Data(), body);
        }
    }
    ok_ = got ? 1 : 0;
    if (!got) packet.Clear();
    return got;
}

bool CCOMLINK::Ping() { return entries_.ping && con_ && entries_.ping(con_); }

bool CCOMLINK::SetBlockingHook(bool on) {
    return entries_.blockingHook && entries_.blockingHook(con_, on ? 1 : 0);
}

bool CCOMLINK::CipherInit(std::uint32_t& value, CLSTRING& block1, CLSTRING& block2) {
    return cipher_.init && cipher_.init(value, block1, block2);
}

bool CCOMLINK::CipherOpen(const CLSTRING& block1, const CLSTRING& block2) {
    if (!cipher_.open || !con_ || !cipher_.open(con_, block1, block2)) return false;
    cipherOn_ = 1;
    return true;
}
