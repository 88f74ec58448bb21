// The transport keywords: what a connection string gives, what reaches the
// kit's start-up record, and what goes back into an output string.
#include "driver/connect/transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(TransportKeywords, ConnectionStrings) {
    struct Case {
        const char* in;
        const char* encrypt;  // null: not present
        const char* caFile;
        const char* out;
    } cases[] = {
        {"DSN=x;Encrypt=yes", "yes", nullptr, ";Encrypt=yes"},
        {"encrypt = Yes ;CAFILE={C:\\certs;old\\ca.pem}", "Yes", "C:\\certs;old\\ca.pem",
         ";Encrypt=Yes;CAFile={C:\\certs;old\\ca.pem}"},
        {"CAFile={a}}b};Encrypt=no", "no", "a}b", ";Encrypt=no;CAFile=a}b"},
        {"Encrypt=", "", nullptr, ""},
        {"Server=s;Encrypted=yes;Encrypt", nullptr, nullptr, ""},  // another keyword; a pair without '='
    };
    for (const Case& c : cases) {
        TransportValues v;
        parseTransportKeywords(v, c.in, -1);
        EXPECT_EQ(c.encrypt != nullptr, v.present[TRANSPORT_ENCRYPT]) << c.in;
        EXPECT_EQ(c.encrypt ? c.encrypt : "", v.value[TRANSPORT_ENCRYPT]) << c.in;
        EXPECT_EQ(c.caFile ? c.caFile : "", v.value[TRANSPORT_CA_FILE]) << c.in;
        EXPECT_EQ(c.out, transportConnectionString(v)) << c.in;
    }
    // A given length ends the string early.
    TransportValues cut;
    parseTransportKeywords(cut, "Encrypt=yes;CAFile=x", 11);
    EXPECT_FALSE(cut.present[TRANSPORT_CA_FILE]);
}

TEST(TransportKeywords, StartUpRecord) {
    struct Case {
        const char* encrypt;
        const char* trust;
        bool ok;
        const char* module;
        std::uint32_t flags;
        const char* problem;
    } cases[] = {
        {"", "", true, "wsa11.dll", 0, ""},
        {"no", "yes", true, "wsa11.dll", 0, ""},
        {"yes", "", true, "tls.dll", 0, ""},
        {"TRUE", "1", true, "tls.dll", VDB_TLS_TRUST_SERVER, ""},
        {"mandatory", "optional", true, "tls.dll", 0, ""},
        {"maybe", "", false, "wsa11.dll", 0, "Invalid value 'maybe' for Encrypt: use yes or no"},
        {"yes", "sure", false, "wsa11.dll", 0, "Invalid value 'sure' for TrustServerCertificate: use yes or no"},
    };
    for (const Case& c : cases) {
        TransportValues v;
        v.value[TRANSPORT_ENCRYPT] = c.encrypt;
        v.value[TRANSPORT_TRUST_SERVER] = c.trust;
        v.value[TRANSPORT_CA_FILE] = "/ca.pem";
        v.value[TRANSPORT_HOST_NAME] = "db.example.com";
        KitStartupParams p;
        std::memset(&p, 0, sizeof p);
        std::strcpy(p.commsModule, "wsa11.dll");
        std::string problem;
        EXPECT_EQ(c.ok, applyTransport(v, p, problem)) << c.encrypt << "/" << c.trust;
        EXPECT_EQ(c.problem, problem);
        EXPECT_STREQ(c.module, p.commsModule) << c.encrypt;
        EXPECT_EQ(c.flags, p.tlsFlags) << c.encrypt << "/" << c.trust;
        const bool tls = std::strcmp(c.module, "tls.dll") == 0;
        EXPECT_STREQ(tls ? "/ca.pem" : "", p.caFile);
        EXPECT_STREQ(tls ? "db.example.com" : "", p.tlsHost);
    }
    // A CA path longer than the record takes is refused, not cut.
    TransportValues longPath;
    longPath.value[TRANSPORT_ENCRYPT] = "yes";
    longPath.value[TRANSPORT_CA_FILE] = std::string(300, 'a');
    KitStartupParams p{};
    std::string problem;
    EXPECT_FALSE(applyTransport(longPath, p, problem));
    EXPECT_EQ("CAFile is too long", problem);
}
