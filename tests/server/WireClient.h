// A client that speaks vornd's wire format byte by byte, for what the kit
// never sends: other client versions, malformed frames and requests, logins
// repeated on one connection, requests left unanswered.
#pragma once

#include "vornvdb/CData.h"

#include <cstdint>
#include <string>

namespace vorndtest {

struct Answer {
    bool ok = false;  // a whole answer frame arrived
    std::uint8_t kind = 0;
    std::uint16_t number = 0;
    std::int32_t status = 0;
    std::string message;
    std::string rest;  // the bytes after the message
};

class WireClient {
public:
    WireClient() = default;
    ~WireClient() { close(); }
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool connect(std::uint16_t port);
    void close();

    bool sendRaw(const void* bytes, std::size_t count);
    // Reads up to `count` bytes within `timeoutMs`; what arrived.
    std::string receiveRaw(std::size_t count, int timeoutMs);
    // True when the server has closed the connection (EOF within timeoutMs).
    bool closedByPeer(int timeoutMs);

    // Sends a request of kind 'T' without waiting for its answer.
    bool send(std::uint16_t number, const CPACKET& args);
    Answer call(std::uint16_t number, const CPACKET& args);
    // Sends a whole frame body as is and reads one answer.
    Answer callBody(const CPACKET& body);

    // StartVorn with a scrambled password; flags bit 0 scrambles the user too.
    Answer start(const std::string& user, const std::string& password,
                 const std::string& clientVersion = "2.3-0250", std::uint32_t flags = 0);
    // The arguments of an Export (1007) request of "execsql".
    static CPACKET execsqlArgs(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::uint32_t block = 0,
                               const std::string& command = "execsql");
    Answer execsql(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::uint32_t block = 0) {
        return call(1007, execsqlArgs(sql, rows, block));
    }

private:
    bool sendFrame(const CPACKET& body);
    int fd_ = -1;
    bool closed_ = false;  // the last receive met the end of the stream
};

}  // namespace vorndtest
