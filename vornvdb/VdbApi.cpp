// The kit's C API: start and end functions, the wrappers of the session
// core's members, and the error-stack functions.
#include "vornvdb/VdbApi.h"

#include "log/VCLogger.h"
#include "platform/msgbox.h"
#include "platform/platform.h"
#include "vornvdb/CErrStack.h"
#include "vornvdb/Cvdb.h"

#include <cstring>
#include <mutex>
#include <new>
#include <set>

namespace {

// Live sessions: a handle is valid while its session is registered here.
std::mutex& sessionsLock() {
    static auto* m = new std::mutex();
    return *m;
}
std::set<const void*>& sessions() {
    static auto* s = new std::set<const void*>();
    return *s;
}

// Makes the session's handle live; false when the registry cannot grow, so
// that the caller ends the session instead of losing it with its socket.
bool registerSession(CVDB* vdb) {
    std::lock_guard<std::mutex> g(sessionsLock());
    try {
        sessions().insert(vdb);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// True when the handle was live and is now forgotten.
bool unregisterSession(HVDB handle) {
    std::lock_guard<std::mutex> g(sessionsLock());
    return sessions().erase(handle) != 0;
}

// A text field of the start-up record, which need not be terminated.
CSTRING fieldText(const char* field, std::size_t size) { return CSTRING(field, strnlen(field, size)); }

VDBCONFIG configFrom(const KitStartupParams& p) {
    VDBCONFIG c;
    c.errStack = reinterpret_cast<CERRSTACK*>(p.errorStack);
    c.commsModule = fieldText(p.commsModule, sizeof p.commsModule);
    c.host = fieldText(p.host, sizeof p.host);
    c.service = fieldText(p.service, sizeof p.service);
    c.startText = fieldText(p.startText, sizeof p.startText);
    c.traceFlags = p.traceFlags;
    c.receiveTimeout = p.receiveTimeout;
    c.sendTimeout = p.sendTimeout;
    c.trustServer = (p.tlsFlags & VDB_TLS_TRUST_SERVER) != 0;
    c.caFile = fieldText(p.caFile, sizeof p.caFile);
    c.tlsHost = fieldText(p.tlsHost, sizeof p.tlsHost);
    c.maxFrameLength = p.maxFrameLength;
    return c;
}

CERRSTACK* stackOf(HERRSTACK h) { return reinterpret_cast<CERRSTACK*>(h); }

// A new process-heap block of count + 2 bytes holding the bytes.
char* heapBlock(const char* bytes, std::size_t count) {
    auto* p = static_cast<char*>(plat::heapAllocRaw(count + 2));
    if (!p) return nullptr;
    if (count) std::memcpy(p, bytes, count);
    p[count] = p[count + 1] = '\0';
    return p;
}

// Points `out` at a new block holding the item's bytes when it has any;
// false when the heap refused it.
bool handOut(char*& out, std::int32_t& length, const CDATA& item) {
    length = static_cast<std::int32_t>(item.Length());
    if (length <= 0) return true;
    char* block = heapBlock(item.Data(), item.Length());
    if (!block) {
        length = 0;
        return false;
    }
    out = block;
    return true;
}

// The ending that the three start functions share. Odd: keep the session
// (showing the server's text for a status with bit 0x2). Even: push the
// server's text for a non-negative status, then end the session.
std::int32_t finishStart(HVDB* handle, CVDB* vdb, std::int32_t status, bool anySign) {
    if (status & 1) {
        if (status & 2) {
            CSTRING text;
            if (!vdb->StatusFatal(vdb->Message(static_cast<std::uint32_t>(status), text)))
                VdbMessageBox("VORN Information", text.c_str(), plat::kMsgBoxTaskModal | plat::kMsgBoxIconStop);
        }
        if (!registerSession(vdb)) {
            delete vdb;
            return -2;
        }
        *handle = reinterpret_cast<HVDB>(vdb);
        return status;
    }
    if ((anySign || status >= 0) && vdb->ErrStack()) {
        CSTRING text;
        if (!vdb->StatusFatal(vdb->Message(static_cast<std::uint32_t>(status), text)))
            vdb->Push("", "VORNkernel", text.c_str());
    }
    delete vdb;
    *handle = nullptr;
    return status;
}

}  // namespace

CVDB* VdbSession(HVDB handle) {
    {
        std::lock_guard<std::mutex> g(sessionsLock());
        if (handle && sessions().count(handle)) return reinterpret_cast<CVDB*>(handle);
    }
    if (IVCLogger* log = KitLogFor(kTraceHandles)) log->Error("", 0, 0, "HVDB pointer is invalid");
    return nullptr;
}

int VdbMessageBox(const char* caption, const char* text, unsigned style) {
#if !defined(_WIN32)
    std::uint32_t flags = KitTraceFlags();
    if (flags)
        if (IVCLogger* log = AcquireKitLog(flags)) log->Error(caption, 0, 0, "%s", text ? text : "");
#endif
    return plat::messageBox(caption, text, style);
}

// ---------------------------------------------------------------------------
// Sessions

extern "C" std::int32_t VdbStartVorn(HVDB* handle, const KitStartupParams* params, const char* user,
                                     const char* password, std::uint32_t number, std::uint32_t startFlags) {
    return VdbGuard([&]() -> std::int32_t {
        if (params) SetKitTraceFlags(params->traceFlags);
        if (!handle || !params) return 0;
        *handle = nullptr;
        auto* vdb = new (std::nothrow) CVDB(configFrom(*params), CSTRING(user), CSTRING(password), number, startFlags);
        if (!vdb) return -2;
        return finishStart(handle, vdb, vdb->GetStatus(), false);
    });
}

extern "C" std::int32_t VdbBeginVdbs(HVDB* handle, const KitStartupParams* params, std::uint8_t beginMode) {
    return VdbGuard([&]() -> std::int32_t {
        if (params) SetKitTraceFlags(params->traceFlags);
        if (!handle || !params) return 0;
        *handle = nullptr;
        auto* vdb = new (std::nothrow) CVDB(configFrom(*params), beginMode);
        if (!vdb) return -2;
        std::int32_t status = finishStart(handle, vdb, vdb->GetStatus(), false);
        if (!(status & 1) && status >= 0 && status != 16898 && status != 26114 && status != 34433) status = -2;
        return status;
    });
}

extern "C" std::int32_t VdbXmlStartup(HVDB* handle, const KitStartupParams* params) {
    return VdbGuard([&]() -> std::int32_t {
        if (params) SetKitTraceFlags(params->traceFlags);
        if (!handle || !params) return 0;
        *handle = nullptr;
        VDBCONFIG config = configFrom(*params);
        auto* vdb = new (std::nothrow) CVDB(config);
        if (!vdb) return -2;
        std::int32_t status = vdb->GetStatus();
        if (status & 1) {
            CPACKET p;
            p.AppendShortItem(config.startText);
            vdb->RequestExchange(vdbreq::Cvdbkit2_XmlInit, p, status);
        }
        if ((status & 1) && registerSession(vdb)) {
            *handle = reinterpret_cast<HVDB>(vdb);
            return 1;
        }
        if (status & 1) {
            delete vdb;
            return -2;
        }
        return finishStart(handle, vdb, status, true);
    });
}

extern "C" std::int32_t VdbEndVorn(HVDB handle, std::uint8_t endMode) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb || !unregisterSession(handle)) return 0;
        vdb->SetEndMode(endMode);
        delete vdb;
        return 1;
    });
}

// ---------------------------------------------------------------------------
// Members of the session core

extern "C" std::int32_t VdbExport(HVDB handle, XmlRequest* request) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb || !request) return 0;
        XmlRequest& q = *request;
        EXPORTRECORD r;
        r.a = q.head1;
        r.b = q.head2;
        r.c = q.head3;
        r.name = CSTRING(q.command, strnlen(q.command, sizeof q.command));
        r.text2 = CSTRING(q.subject, strnlen(q.subject, sizeof q.subject));
        r.data = CLSTRING(q.document, q.document && q.documentLength > 0 ? std::size_t(q.documentLength) : 0);
        r.text = CSTRING(q.text, q.text && q.textLength > 0 ? std::size_t(q.textLength) : 0);
        r.d = q.rows;
        r.e = q.flags;
        r.f = q.block;
        q.status = 0;
        if (q.flags & VDB_EXPORT_LOCAL) return RunFilterRoutine(request, handle);

        std::int32_t rc = vdb->Export(r);
        q.head1 = r.a;
        q.head2 = r.b;
        q.head3 = r.c;
        // The whole text comes back, terminated: the document's block is
        // handed over as received, the text in a block of its own. A block
        // the heap refuses leaves the caller's pointer and a length of 0
        // rather than a length without bytes.
        q.documentLength = static_cast<std::int32_t>(r.data.Length());
        if (q.documentLength > 0) q.document = r.data.Release();
        if (!handOut(q.text, q.textLength, r.text)) rc = -2;
        q.block = r.f;
        q.status = r.result2;
        std::memset(q.message, 0, sizeof q.message);
        r.message.CopyOut(q.message, sizeof q.message);
        return rc;
    });
}

extern "C" std::int32_t VdbXVersion(HVDB handle, char* server1, std::uint16_t size1, char* server2,
                                    std::uint16_t size2, char* client, std::uint16_t size3) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        CSTRING s1, s2, c;
        std::int32_t rc = vdb->XVersion(s1, s2, c);
        s1.CopyOut(server1, size1);
        s2.CopyOut(server2, size2);
        c.CopyOut(client, size3);
        return rc;
    });
}

extern "C" std::int32_t VdbMessage(HVDB handle, std::int32_t status, char* buffer, std::uint16_t size) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) {
            // A start refused for too many sessions leaves no session, yet
            // the caller has a text to show.
            if (status == 26114 && buffer && size) {
                std::memset(buffer, 0, size);
                CSTRING("Too many sessions, try again later.").CopyOut(buffer, size);
            }
            return 0;
        }
        CSTRING text;
        std::int32_t rc = vdb->Message(static_cast<std::uint32_t>(status), text);
        text.CopyOut(buffer, size);
        return rc;
    });
}

extern "C" std::int32_t VdbSetNotifyHandler(HVDB handle, VDBNOTIFYPROC handler, void* data) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        vdb->SetNotifyHandler(handler, data);
        return 1;
    });
}

extern "C" std::int32_t VdbSetBreakData(HVDB handle, void* data) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        vdb->SetBreakData(data);
        return 1;
    });
}

extern "C" std::int32_t VdbRequestBreak(HVDB handle) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        vdb->RequestBreak();
        return 1;
    });
}

extern "C" std::int32_t VdbSetTimeLimits(HVDB handle, std::uint16_t receiveTimeout, std::uint16_t sendTimeout) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        vdb->SetTimeLimits(receiveTimeout, sendTimeout);
        return 1;
    });
}

extern "C" std::int32_t VdbPing(HVDB handle) {
    return VdbGuard([&]() -> std::int32_t {
        CVDB* vdb = VdbSession(handle);
        if (!vdb) return 0;
        return vdb->Ping() ? 1 : -2;
    });
}

// ---------------------------------------------------------------------------
// Error stacks

extern "C" HERRSTACK VdbErrStackCreate(const char* first, const char* second, const char* third,
                                       const char* fourth) {
    try {
        return reinterpret_cast<HERRSTACK>(new (std::nothrow) CERRSTACK(first, second, third, fourth));
    } catch (...) {
        return nullptr;
    }
}

extern "C" std::int32_t VdbErrStackDestroy(HERRSTACK stack) {
    if (!stack) return 0;
    delete stackOf(stack);
    return 1;
}

extern "C" std::int32_t VdbErrStackPush(HERRSTACK stack, const char* source, const char* method, const char* text) {
    return VdbGuard([&]() -> std::int32_t {
        if (!stack) return 0;
        return stackOf(stack)->Push(source, method, text) ? 1 : 0;
    });
}

extern "C" std::int32_t VdbErrStackPushSysErr(HERRSTACK stack, const char* source, const char* method,
                                              std::int32_t code) {
    return VdbGuard([&]() -> std::int32_t {
        if (!stack) return 0;
        return stackOf(stack)->Push(source, method, CSYSERR(method, code).c_str()) ? 1 : 0;
    });
}

extern "C" std::int32_t VdbErrStackShowAndClear(HERRSTACK stack) {
    return VdbGuard([&]() -> std::int32_t {
        if (!stack) return 0;
        CERRSTACK* s = stackOf(stack);
        // The library carries no dialog template of its own: the dialog's
        // message and three detail lines go into one message box.
        CSTRING text(s->LastMessage().Length() ? s->LastMessage().c_str() : "An error occurred.");
        for (int i = 1; i < 4; ++i) {
            if (!s->Text(i).Length()) continue;
            text.Append("\n");
            text.Append(s->Text(i));
        }
        int result = VdbMessageBox(s->Text(0).c_str(), text.c_str(), plat::kMsgBoxTaskModal | plat::kMsgBoxIconStop);
        s->Clear();
        return result;
    });
}

extern "C" std::int32_t VdbErrStackClear(HERRSTACK stack) {
    if (!stack) return 0;
    stackOf(stack)->Clear();
    return 1;
}

extern "C" std::int32_t VdbErrStackPop(HERRSTACK stack, char* buffer, std::uint32_t size) {
    return VdbGuard([&]() -> std::int32_t {
        if (!stack) return 0;
        if (buffer && size) std::memset(buffer, 0, size);
        CPACKET entry;
        if (!stackOf(stack)->Pop(entry)) return 0;
        return static_cast<std::int32_t>(entry.CopyOut(buffer, size));
    });
}

extern "C" std::int32_t VdbErrStackGetAll(HERRSTACK stack, char* buffer, std::uint32_t size) {
    return VdbGuard([&]() -> std::int32_t {
        if (!stack) return 0;
        CSTRING all = stackOf(stack)->PopAll();
        std::size_t n = all.Length() < size ? all.Length() : size;
        if (!buffer || n == 0) {
            if (buffer && size) buffer[0] = '\0';
            return 0;
        }
        std::memcpy(buffer, all.Data(), n);
        buffer[n - 1] = '\0';
        return static_cast<std::int32_t>(n);
    });
}
