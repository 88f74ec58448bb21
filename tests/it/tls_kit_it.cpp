// The kit's TLS module against vornd serving TLS, through the kit's C API:
// the traffic trace shows the blocks as sent and received, in clear text,
// and a ping goes through the encrypted stream.
#include "VorndSuite.h"

#include "log/VCLogger.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using vorndtest::readFile;
using vorndtest::TestServer;

TEST(TlsKit, TraceShowsClearBlocksAndPingAnswers) {
    const std::string certs = std::string(VORN_TLS_DIR) + "-kit-" + std::to_string(getpid());
    ASSERT_EQ(0, std::system(("bash " VORN_CERT_SCRIPT " " + certs + " > " + certs + ".out 2>&1").c_str()));
    TestServer server("tls-kit", "", {"--tls-cert", certs + "/self.pem", "--tls-key", certs + "/self.key",
                                      "--tls-only"});
    ASSERT_TRUE(server.ok()) << server.error();

    // The kit log goes to TMPDIR; the trace clears NET_*.LOG of the
    // current folder.
    char old[4096];
    ASSERT_NE(nullptr, getcwd(old, sizeof old));
    ASSERT_EQ(0, chdir(certs.c_str()));
    setenv("TMPDIR", certs.c_str(), 1);
    ReleaseKitLog();

    KitStartupParams params;
    std::memset(&params, 0, sizeof params);
    std::strcpy(params.commsModule, "tls.dll");
    std::strcpy(params.host, "127.0.0.1");
    std::snprintf(params.service, sizeof params.service, "%u", unsigned(server.port()));
    params.traceFlags = 0x05000001;  // verbose log, traffic trace
    params.receiveTimeout = params.sendTimeout = 30;
    params.tlsFlags = VDB_TLS_TRUST_SERVER;
    HVDB session = nullptr;
    ASSERT_EQ(1, VdbStartVorn(&session, &params, "tracer", "pw", 0, 0));
    EXPECT_EQ(1, VdbPing(session));
    EXPECT_EQ(1, VdbEndVorn(session, 0));
    ReleaseKitLog();
    SetKitTraceFlags(0);
    EXPECT_EQ(0, chdir(old));

    const std::string log = readFile(certs + "/VORNclient_" + std::to_string(getpid()) + ".log");
    EXPECT_NE(std::string::npos, log.find("WSA11: OUT Len=005 <05000000>P")) << log;
    EXPECT_NE(std::string::npos, log.find("WSA11: IN  Len=007 <07000000>P<0000>")) << log;
    // The start request's user name, in the clear in the trace only.
    EXPECT_NE(std::string::npos, log.find("tracer")) << log;
    std::system(("rm -rf " + certs + " " + certs + ".out").c_str());
}
