// A scripted stand-in for a VORN server on 127.0.0.1 (port chosen by the
// system), for protocol corners a real server rarely shows. The script is a
// list of steps run in order on a thread: expect a request (checking its
// kind and number; the bytes are kept for the test), send an answer or raw bytes, close, stay
// silent. Mismatches are collected as texts that finish() hands back.
//
//   vorntest::FakeServer srv;
//   srv.expect('T', 110).reply(110, 1).expect('T', 111).reply(111, 1).start();
//   ... drive the kit against srv.port() ...
//   EXPECT_THAT(srv.finish(), IsEmpty());
#pragma once

#include "vornvdb/CData.h"
#include "vornvdb/vornkit.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vorntest {

class FakeServer {
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    std::uint16_t port() const { return port_; }

    // Reads one frame and checks its kind and request number.
    FakeServer& expect(std::uint8_t kind, std::uint16_t number);
    // Sends an answer block (kind, number, status, message, results) framed.
    FakeServer& reply(std::uint16_t number, std::int32_t status, const char* message = "",
                      const CPACKET& results = CPACKET(), std::uint8_t kind = 'T');
    // Sends bytes as they are (no framing added).
    FakeServer& raw(std::vector<unsigned char> bytes);
    // Closes the connection at this point of the script.
    FakeServer& close();
    // Reads and discards everything until the client closes.
    FakeServer& silence();
    // Sends the bytes one at a time, pausing between them, until the client
    // hangs up: a peer slower than any single wait.
    FakeServer& drip(std::vector<unsigned char> bytes, int pauseMs);

    // Runs the script on a thread for the first connection.
    void start();
    // Waits for the script to end and the client to close, and returns the
    // mismatches found. Joins the thread.
    std::vector<std::string> finish();
    // Every frame body received, in order.
    std::vector<std::vector<unsigned char>> received() const;

private:
    // A step of the script on the connection (-1 once closed); false ends the script.
    using Step = std::function<bool(int& conn)>;
    FakeServer& add(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    void run();
    bool readExact(int conn, unsigned char* p, std::size_t n);
    void fail(const std::string& text);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<std::string> failures_;
    std::vector<std::vector<unsigned char>> received_;
};

// Start parameters for a session with `srv`: the TCP module on loopback.
inline KitStartupParams ParamsFor(const FakeServer& srv, HERRSTACK errors = nullptr, std::uint32_t timeout = 5,
                                  std::uint32_t traceFlags = 0) {
    KitStartupParams p;
    std::memset(&p, 0, sizeof p);
    p.errorStack = errors;
    std::strcpy(p.commsModule, "wsa11.dll");
    std::strcpy(p.host, "127.0.0.1");
    std::snprintf(p.service, sizeof p.service, "%u", unsigned(srv.port()));
    std::strcpy(p.startText, "start-text");
    p.traceFlags = traceFlags;
    p.receiveTimeout = p.sendTimeout = timeout;
    return p;
}

// Every text on the error stack, newest first, joined by "\r\n" (the
// stack's copy-out drops the last line feed; its "\r" is dropped here).
inline std::string ErrorTexts(HERRSTACK errors) {
    char buf[4096] = {};
    VdbErrStackGetAll(errors, buf, sizeof buf);
    std::string all(buf);
    if (!all.empty() && all.back() == '\r') all.pop_back();
    return all;
}

// The number of open file descriptors of this process.
int OpenDescriptorCount();

}  // namespace vorntest
