// Test and benchmark support for vornd: starting the server as a child
// process, and a client that speaks the wire format with the kit's packets.
#pragma once

#include "vornvdb/CData.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorndtest {

// A vornd child process on 127.0.0.1 with a port of its own choosing.
class VorndProcess {
public:
    VorndProcess() = default;
    ~VorndProcess() { stop(); }
    VorndProcess(const VorndProcess&) = delete;
    VorndProcess& operator=(const VorndProcess&) = delete;

    // Starts vornd on `database` with the extra arguments; waits for the
    // line that names the port. False (and `error`) when it does not come.
    bool start(const std::string& database, const std::vector<std::string>& extra, std::string& error);
    // SIGTERM and wait; the exit status (-1 when it had to be killed).
    int stop();
    bool running();
    std::uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

// vornd serving a fresh copy of the sample database, logging to log(), with
// a users file when `users` is not empty. The database and every file beside
// it are removed again on destruction.
class TestServer : public VorndProcess {
public:
    TestServer(const std::string& name, const std::string& users = "", std::vector<std::string> extra = {});
    ~TestServer();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& db() const { return db_; }
    std::string log() const { return db_ + ".log"; }

private:
    std::string db_, error_;
};

// Runs vornd once with the given arguments (no server); its exit status.
int runVornd(const std::vector<std::string>& args, std::string* output = nullptr);

// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string& path);

struct Answer {
    bool ok = false;  // a whole answer frame arrived
    std::uint8_t kind = 0;
    std::uint16_t number = 0;
    std::int32_t status = 0;
    std::string message;
    CPACKET results;
};

struct ExportAnswer {
    bool ok = false;
    std::int32_t status = 0;  // the answer's status
    std::string data, text;
    std::uint32_t result1 = 0, result2 = 0;  // rows in the block, the final status
    std::string message;
};

class WireClient {
public:
    WireClient() = default;
    ~WireClient() { close(); }
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool connect(std::uint16_t port);
    void close();

    // Raw bytes, for the malformed cases.
    bool sendRaw(const void* bytes, std::size_t count);
    // Reads up to `count` bytes within `timeoutMs`; what arrived.
    std::string receiveRaw(std::size_t count, int timeoutMs);
    // True when the server has closed the connection (EOF within timeoutMs).
    bool closedByPeer(int timeoutMs);

    // Sends one request of kind 'T' without waiting for its answer.
    bool send(std::uint16_t number, const CPACKET& args);
    // One request of kind 'T' with the given arguments; the answer.
    Answer call(std::uint16_t number, const CPACKET& args);
    // Sends a whole frame body as is and reads one answer.
    Answer callBody(const CPACKET& body);

    // StartVorn with a scrambled password; flags bit 0 scrambles the user too.
    Answer start(const std::string& user, const std::string& password,
                 const std::string& clientVersion = "2.3-0250", std::uint32_t flags = 0);
    // The arguments of an Export (1007) request.
    static CPACKET exportArgs(const std::string& command, const std::string& text, std::uint32_t rows,
                              std::uint32_t block, std::uint32_t flags = 36);
    ExportAnswer exportCommand(const std::string& command, const std::string& text, std::uint32_t rows,
                               std::uint32_t block, std::uint32_t flags = 36);
    ExportAnswer execsql(const std::string& sql, std::uint32_t rows = 0xFFFFFFFFu, std::uint32_t block = 0) {
        return exportCommand("execsql", sql, rows, block);
    }
    ExportAnswer getObject(const std::string& fetchKey) {
        return exportCommand("sqlgetobject", "FETCHKEY=" + fetchKey + "\n", 1, 0);
    }

private:
    int fd_ = -1;
};

// A result document read by the client's rules: whitespace-only character
// chunks dropped, base64 values decoded, "P" parts taken when a value has no
// text of its own.
struct Value {
    bool isNull = false;
    bool hasData = false;
    std::string data;
    std::string fetchKey;
};

struct Column {
    std::string name, table, type;
    bool nullable = true;
};

struct Document {
    bool wellFormed = false;
    std::string error;
    std::string root;  // "ResultSet", "Fault", "Success", "property"
    std::string statementType;
    long columnCount = -1;
    long rowCount = -1;
    long faultCode = 0;
    std::string message;
    std::vector<Column> columns;
    std::vector<long> rowNumbers;
    std::vector<std::vector<Value>> rows;
};

Document parseDocument(const std::string& xml);

}  // namespace vorndtest
