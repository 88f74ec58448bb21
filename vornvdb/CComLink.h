// The comms link: owned by a session, it holds the entry table of the comms
// module, opens the connection when it is made, and moves whole frames (a
// u32 total length, then one message block).
#pragma once

#include "Com/wsa11/Wsa11com.h"
#include "vornvdb/CData.h"

#include <cstdint>

class CERRSTACK;

// What a session is made from; kept by the link.
struct VDBCONFIG {
    CERRSTACK* errStack = nullptr;  // failure texts go here; null drops them
    CSTRING commsModule;            // "tls.dll" binds the TLS module; any other name the TCP module
    CSTRING host;
    CSTRING service;
    CSTRING startText;
    std::uint32_t traceFlags = 0;   // the kit's trace flags; the low 16 bits switch the traffic trace
    std::uint32_t receiveTimeout = 30;
    std::uint32_t sendTimeout = 30;
    // The TLS module's settings.
    bool trustServer = false;       // no certificate check
    CSTRING caFile;                 // empty: the system's store
    CSTRING tlsHost;                // empty: the host
    std::uint32_t maxFrameLength = 0;  // largest frame body accepted; 0: vornwire::kMaxFrameLength
};

// The comms module's functions.
struct COMENTRIES {
    std::int16_t (*start)(CERRSTACK*);
    std::int16_t (*stop)(CERRSTACK*);
    NETCON* (*open)(const char* service, const char* host, CERRSTACK*, std::int16_t trace, std::uint16_t rto,
                    std::uint16_t sto);
    std::int16_t (*close)(NETCON*);
    std::int16_t (*ping)(NETCON*);
    std::int16_t (*blockingHook)(NETCON*, std::uint8_t on);
    std::int16_t (*receive)(NETCON*, std::uint32_t channel, void* buffer, std::uint32_t count);
    std::int16_t (*send)(NETCON*, std::uint32_t channel, const void* buffer, std::uint32_t count);
};

// The optional cipher: the TCP module supplies none.
struct CIPHERENTRIES {
    // A value and two blocks to offer the server.
    bool (*init)(std::uint32_t& value, CLSTRING& block1, CLSTRING& block2);
    // Takes the server's two blocks and switches the cipher on.
    bool (*open)(NETCON*, const CLSTRING& block1, const CLSTRING& block2);
    bool (*close)(NETCON*);
};

class CCOMLINK {
public:
    explicit CCOMLINK(const VDBCONFIG& config);
    ~CCOMLINK();
    CCOMLINK(const CCOMLINK&) = delete;
    CCOMLINK& operator=(const CCOMLINK&) = delete;

    // Sends the packet as one frame and empties it; false on failure.
    bool SendFrame(CPACKET& packet);
    // Replaces the packet by the body of the next frame; on failure the
    // packet is emptied and false returned. A length below 4 or above
    // vornwire::kMaxFrameLength, or a body above the configured limit, fails
    // without allocating.
    bool ReceiveFrame(CPACKET& packet);
    bool IsOk() const { return ok_ != 0; }
    bool Ping();
    bool SetBlockingHook(bool on);
    // New waits of the open connection use these limits (seconds).
    void SetTimeLimits(std::uint16_t receive, std::uint16_t send) {
        SetNetConTimeLimits(con_, receive, send);
    }
    std::uint32_t SessionId() const { return NetConId(con_); }

    // The cipher switch of the session's encryption requests.
    bool CipherInit(std::uint32_t& value, CLSTRING& block1, CLSTRING& block2);
    bool CipherOpen(const CLSTRING& block1, const CLSTRING& block2);

private:
    CERRSTACK* errStack_;
    std::uint32_t maxBody_;
    std::uint32_t ok_ = 0;
    std::uint32_t cipherOn_ = 0;
    NETCON* con_ = nullptr;
    CPACKET frame_;  // header and body of a clear frame, kept for the next
    COMENTRIES entries_{};
    CIPHERENTRIES cipher_{};
};
