// An encrypted session from the DLL under Wine (Schannel, which Wine backs
// with GnuTLS) to vornd on the Linux side, started with a certificate by
// scripts/test.sh: VORN_WIN_CA_DIR names the folder of the test CA's files
// (as a Windows path). The right issuer and name pass, a foreign issuer and
// a wrong name are 08001 with the reason; a session carries a second exchange.
#include "win/dll.h"

namespace {

using WinTls = vornwin::Connected;

TEST_F(WinTls, EncryptedSessionsAndCertificateChecks) {
    const char* dir = std::getenv("VORN_WIN_CA_DIR");
    if (vornwin::vorndPort().empty() || !dir || !*dir) GTEST_SKIP() << "no vornd with TLS and test CA";
    const std::string ca = std::string(dir) + "\\";
    const struct {
        std::string more, reason;  // "" when the session is made
    } cases[] = {
        {"Encrypt=yes;TrustServerCertificate=yes", ""},
        {"Encrypt=yes;HostNameInCertificate=localhost;CAFile=" + ca + "ca.pem", ""},
        {"Encrypt=yes;HostNameInCertificate=localhost;CAFile=" + ca + "other-ca.pem",
         "unable to get local issuer certificate"},
        {"Encrypt=yes;HostNameInCertificate=db.example.com;CAFile=" + ca + "ca.pem", "hostname mismatch"},
    };
    for (const auto& k : cases) {
        close();
        const SQLRETURN rc = open(connectString() + ";" + k.more);
        const std::string got = vornwin::diag(SQL_HANDLE_DBC, dbc);
        if (k.reason.empty()) {
            ASSERT_EQ(SQL_SUCCESS, rc) << k.more << ": " << got;
            for (const auto& [id, author] : {std::pair<int, std::string>{2, "Jules Verne"}, {3, "Mary Shelley"}}) {
                char name[64] = "";
                SQLLEN ind = 0;
                ASSERT_EQ(SQL_SUCCESS, exec(("SELECT NAME FROM AUTHORS WHERE ID = " + std::to_string(id)).c_str()));
                ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFetch)(stmt));
                VORN_DLL_FN(SQLGetData)(stmt, 1, SQL_C_CHAR, name, sizeof name, &ind);
                EXPECT_EQ(author, name) << k.more;
                reset();
            }
        } else {
            EXPECT_EQ(SQL_ERROR, rc) << k.more;
            EXPECT_EQ(0u, got.find("08001 ")) << got;
            EXPECT_NE(std::string::npos, got.find(k.reason)) << k.more << ": " << got;
        }
    }
}

}  // namespace
