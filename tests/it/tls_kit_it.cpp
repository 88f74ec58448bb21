// The kit's two comms modules against vornd serving TLS and clear text,
// through the kit's C API: the traffic trace shows each block once as sent
// and received, in clear text and printed as it came (a '%' of the data is
// no format), and a ping goes through either stream. And how vornd ends a
// TLS session, seen by a bare OpenSSL client.
#include "VorndSuite.h"

#include "platform/platform.h"
#include "platform/socket.h"
#include "log/VCLogger.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using vorndtest::readFile;
using vorndtest::TestServer;

namespace {

// One vornd serving TLS with a self-signed certificate made for this process.
class TlsKit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certs_ = std::string(VORN_TLS_DIR) + "-kit-" + std::to_string(getpid());
        ASSERT_EQ(0, std::system(("bash " VORN_CERT_SCRIPT " " + certs_ + " > " + certs_ + ".out 2>&1").c_str()));
        // Only the first 32 characters of a password count: a longer one logs in.
        server_.reset(new TestServer("tls-kit", "tracer:" + std::string(32, 'p') + "\n",
                                     {"--tls-cert", certs_ + "/self.pem", "--tls-key", certs_ + "/self.key"}));
    }
    static void TearDownTestSuite() {
        server_.reset();
        std::system(("rm -rf " + certs_ + " " + certs_ + ".out").c_str());
    }
    void SetUp() override { ASSERT_TRUE(server_ && server_->ok()) << (server_ ? server_->error() : "no test certificates"); }

    inline static std::string certs_;
    inline static std::unique_ptr<TestServer> server_;
};

}  // namespace

TEST_F(TlsKit, TraceShowsClearBlocksAndPingAnswers) {
    // The kit log goes to TMPDIR; the trace clears NET_*.LOG of the
    // current folder.
    char old[4096];
    ASSERT_NE(nullptr, getcwd(old, sizeof old));
    ASSERT_EQ(0, chdir(certs_.c_str()));
    setenv("TMPDIR", certs_.c_str(), 1);
    for (const char* module : {"tls.dll", "wsa11.dll"}) {
        SCOPED_TRACE(module);
        ReleaseKitLog();
        KitStartupParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.commsModule, module);
        std::strcpy(params.host, "127.0.0.1");
        std::snprintf(params.service, sizeof params.service, "%u", unsigned(server_->port()));
        params.traceFlags = 0x05000001;  // verbose log, traffic trace
        params.receiveTimeout = params.sendTimeout = 30;
        params.tlsFlags = VDB_TLS_TRUST_SERVER;
        HVDB session = nullptr;
        ASSERT_EQ(1, VdbStartVorn(&session, &params, "tracer", std::string(40, 'p').c_str(), 0, 0));
        EXPECT_EQ(1, VdbPing(session));
        XmlRequest q{};
        std::strcpy(q.command, "execsql");
        char query[] = "SELECT 'fifty 50% off'";
        q.text = query;
        q.textLength = std::int32_t(sizeof query);
        q.rows = 10;
        q.block = 1;
        EXPECT_EQ(1, VdbExport(session, &q));
        plat::heapFree(q.document);
        if (q.text != query) plat::heapFree(q.text);
        EXPECT_EQ(1, VdbEndVorn(session, 0));
        ReleaseKitLog();
        SetKitTraceFlags(0);

        const std::string log = readFile(certs_ + "/VORNclient_" + std::to_string(getpid()) + ".log");
        const std::string ping = "WSA11: OUT Len=005 <05000000>P";
        EXPECT_NE(std::string::npos, log.find(ping)) << log;
        EXPECT_EQ(log.find(ping), log.rfind(ping)) << log;
        EXPECT_NE(std::string::npos, log.find("WSA11: IN  Len=007 <07000000>P<0000>")) << log;
        EXPECT_NE(std::string::npos, log.find(">fifty 50% off<")) << log;
        EXPECT_EQ(std::string::npos, log.find("50%%")) << log;
        // The start request's user name, in the clear in the trace only.
        EXPECT_NE(std::string::npos, log.find("tracer")) << log;
    }
    EXPECT_EQ(0, chdir(old));
}

// A client that stops sending ends its session; vornd's closing alert comes
// on that connection before the socket closes. Sent after the close, it went
// to whichever client was given the socket's number next, whose handshake
// then failed.
TEST_F(TlsKit, VorndEndsASessionWithItsClosingAlertFirst) {
    namespace net = plat::net;
    net::AddressList* at = nullptr;
    ASSERT_EQ(0, net::resolveTcp4("127.0.0.1", std::to_string(server_->port()).c_str(), &at));
    const net::Socket s = net::openStream();
    const bool connected = net::connectFirst(s, at, 30);
    net::freeAddresses(at);
    ASSERT_TRUE(connected);
    net::setTimeLimits(s, 30, 30);  // a bound, should anything hang
    signal(SIGPIPE, SIG_IGN);       // OpenSSL answers a bare end of stream with an alert
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, int(s));
    ASSERT_EQ(1, SSL_connect(ssl));
    ::shutdown(int(s), SHUT_WR);
    char byte;
    const int n = SSL_read(ssl, &byte, 1);
    EXPECT_EQ(SSL_ERROR_ZERO_RETURN, SSL_get_error(ssl, n)) << "no closing alert before the end of the stream";
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    net::closeSocket(s);
}
