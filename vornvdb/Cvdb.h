// The kit's session: one connection to a server process. It owns the comms
// link, runs the start handshake, performs each request as one
// request/answer exchange and sends the end request when it is destroyed.
//
// Every server request is a member of this class. The session core (this
// header, Cvdbpriv.cpp) gives the request family its shared exchange:
// RequestExchange for the ordinary shape, and Gate / CallAndListen /
// RunNotifications / BreakPoll for members with loops of their own.
#pragma once

#include "util/PtrList.h"
#include "vornvdb/CComLink.h"
#include "vornvdb/CData.h"
#include "vornvdb/RequestFamily.h"
#include "vornvdb/vornkit.h"

#include <cstdint>
#include <map>
#include <string>

class CERRSTACK;

// Status values of the session and its requests.
enum : std::int32_t {
    kVdbOk = 1,
    kVdbComm = -2,
    kVdbMismatch = -4,
    kVdbInitFailed = -6,
    kVdbNoHostIni = -8,
    kVdbNoHostUser = -12,
    kVdbEncryption = -18,
    kVdbBusy = 0x0FFFFFFE,
    kVdbNotify = 0x0FFFFFFA,
    kVdbProgress = 0x0FFFFFFC,
};

// The in-memory record of Export and Import.
// a..f carry the request record's head1..head3, rows, flags and block.
struct EXPORTRECORD {
    std::uint32_t a = 0, b = 0, c = 0;
    CSTRING name;
    CSTRING text2;
    CLSTRING data;
    CSTRING text;  // sent with its terminating zero
    std::uint32_t d = 0, e = 0;
    std::uint32_t f = 0;        // in; result 1 out
    std::uint32_t result2 = 0;  // out
    CSTRING message;            // out
};

// One answer of the cached symbol request (texts cut to 16 characters).
struct SYMBOLENTRY {
    char key[17];
    char value[17];
};

class CVDB {
public:
    // Opens the link only (status 1, or -2 when it failed).
    explicit CVDB(const VDBCONFIG& config);
    // Opens the link and runs BeginVdbs, starting in compatibility mode.
    CVDB(const VDBCONFIG& config, std::uint8_t beginMode);
    // Opens the link and runs StartVorn.
    CVDB(const VDBCONFIG& config, const CSTRING& user, const CSTRING& password, std::uint32_t number,
         std::uint32_t startFlags);

    // The break test of long requests: 1 go on, 0 stop.
    virtual int BreakPoll(std::uint16_t value);
    // Sends the end request when still due, then closes the link.
    virtual ~CVDB();

    CVDB(const CVDB&) = delete;
    CVDB& operator=(const CVDB&) = delete;

    // ---- Session handshake and end (request numbers 101, 102, 110, 111) ----
    std::int32_t StartVorn(const CSTRING& user, const CSTRING& password, std::uint32_t number,
                           std::uint32_t startFlags, const CSTRING& startText);
    std::int32_t BeginVdbs(std::uint8_t beginMode, const CSTRING& startText);
    std::int32_t EndVdbs();
    std::int32_t StopVorn();
    std::int32_t SslInit();
    std::int32_t StopEncrypt();

    // ---- Members of the session core ----
    std::int32_t Export(EXPORTRECORD& record);
    // Server texts 1 and 2, and the client version text.
    std::int32_t XVersion(CSTRING& server1, CSTRING& server2, CSTRING& client);
    // The server's text for a status.
    std::int32_t Message(std::uint32_t status, CSTRING& text);

    // ---- The request family ----
#include "vornvdb/CvdbRequests.inc"

    // ---- The exchange ----
    // One exchange: the packet goes out with a message header and comes back
    // holding the answer's results. Fatal results break the session.
    std::int32_t CallAndListen(std::uint8_t kind, std::uint16_t number, CPACKET& packet);
    // Queues a request; it goes out (its answer discarded) at the start of
    // the next exchange.
    std::int32_t PostRequest(std::uint8_t kind, std::uint16_t number, const CPACKET& packet);

    // The pre-send gate: 1, or -2 (broken) / kVdbBusy (a request in flight),
    // logged as the status test does.
    std::int32_t Gate();
    // Gate, busy flag, CallAndListen('T', number), busy cleared.
    std::int32_t Exchange(std::uint16_t number, CPACKET& packet);
    // The shape every ordinary member shares: exchange, then true when the
    // member should take its outputs by the descriptor's policy; a fatal
    // status pushes the policy's text or "Communication Error" under the
    // member's name and source group. A posted request is queued and false.
    bool RequestExchange(const vdbreq::Desc& desc, CPACKET& packet, std::int32_t& rc);
    // While rc is a notification: take its text, ask the handler for a
    // reply, send it with kind 'N' and the same number. Returns the final rc.
    std::int32_t RunNotifications(std::uint16_t number, CPACKET& packet, std::int32_t rc);
    // Forgets Escape presses made before a long request starts.
    void ResetBreakKey();

    // ---- Status tests (each writes its kit-log line) ----
    bool StatusOk(std::int32_t rc) const;
    bool StatusFatal(std::int32_t rc) const;
    bool StatusError(std::int32_t rc) const;

    // ---- Settings and facts ----
    std::int32_t GetStatus() const { return status_; }
    void SetEndMode(std::uint8_t mode) { endMode_ = mode; }
    void SetNotifyHandler(VDBNOTIFYPROC handler, void* data);
    void SetBreakCallback(VDBBREAKPROC callback) { breakCallback_ = callback; }
    void SetBreakData(void* data) { breakData_ = data; }
    void RequestBreak() { breakRequested_ = 1; }
    bool IsBroken() const { return broken_ != 0; }
    bool IsBusy() const { return busy_ != 0; }
    void SetBusy(bool on) { busy_ = on ? 1 : 0; }
    CSTRING ClientVersion() const;
    // The 33-byte scramble of a text (user names and passwords).
    CPACKET Scramble(const CSTRING& text) const;
    std::uint32_t SessionId() const { return link_.SessionId(); }
    bool Ping() { return link_.Ping(); }
    void SetTimeLimits(std::uint16_t receive, std::uint16_t send) { link_.SetTimeLimits(receive, send); }
    const CSTRING& LastMessage() const { return message_; }
    CERRSTACK* ErrStack() const { return errStack_; }
    // Pushes a text with this session's source rules (empty source: "?").
    void Push(const char* source, const char* method, const char* text) const;

    // A session-owned array (slot 0 or 1) of `bytes` zero bytes, replacing
    // the slot's previous array; null when the heap refuses.
    void* ResultBuffer(int slot, std::size_t bytes);
    std::map<std::string, SYMBOLENTRY>& SymbolCache() { return symbols_; }

private:
    std::int32_t ParseAnswer(std::uint16_t expected, CPACKET& packet);
    std::int32_t FlushDeferred();
    void ClearDeferred(std::int32_t upTo);
    // StartVorn's and BeginVdbs's exchange: a version mismatch on the first
    // try makes the session speak as the old client and ask once more;
    // `fillArgs` builds the request's arguments in work_ for each try.
    template <class FillArgs>
    std::int32_t StartExchange(std::uint16_t number, FillArgs fillArgs);
    // StartVorn's and BeginVdbs's shared ending: texts for failures.
    std::int32_t HandshakeResult(std::int32_t rc, const char* method);
    std::int32_t EndRequest(std::uint16_t number, const char* method);
    void ReportLog(bool fatal, std::int32_t rc, const char* format) const;

    CSTRING message_;
    std::int32_t status_ = 1;
    CPACKET work_;
    CPACKET work2_;
    std::uint32_t endMode_ = 0;
    CCOMLINK link_;
    CERRSTACK* errStack_;
    CSTRING startText_;
    void* results_[2] = {nullptr, nullptr};
    std::uint32_t busy_ = 0;
    std::uint32_t broken_ = 0;
    std::uint32_t breakRequested_ = 0;
    std::uint32_t startedWithStartVorn_ = 0;
    std::uint32_t compatibility_ = 0;
    PtrList deferred_{};
    VDBBREAKPROC breakCallback_ = nullptr;
    void* breakData_ = nullptr;
    std::uint32_t endDue_ = 1;
    VDBNOTIFYPROC notify_ = nullptr;
    void* notifyData_ = nullptr;
    std::map<std::string, SYMBOLENTRY> symbols_;
    bool answered_ = false;  // the last CallAndListen parsed an answer
};
