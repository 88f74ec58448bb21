// vornd through the kit's C API, as the driver reaches it: start, Export
// "execsql" across blocks, "sqlgetobject", faults, the other session
// requests, end.
#include "WireClient.h"

#include "platform/platform.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace vorndtest;

namespace {

class VorndKitApi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        db_ = new SampleDatabase("kitapi");
        ASSERT_TRUE(db_->ok());
        const std::string users = db_->with(".users");
        std::ofstream(users) << "driver:s3cret\n";
        server_ = new VorndProcess;
        std::string error;
        ASSERT_TRUE(server_->start(db_->path(), {"--users", users}, error)) << error;
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(server_->stop(), 0);
        delete server_;
        delete db_;
    }
    void SetUp() override {
        errors_ = VdbErrStackCreate(nullptr, nullptr, nullptr, nullptr);
        std::memset(&params_, 0, sizeof params_);
        params_.errorStack = errors_;
        std::strcpy(params_.commsModule, "wsa11.dll");
        std::strcpy(params_.host, "127.0.0.1");
        std::snprintf(params_.service, sizeof params_.service, "%u", server_->port());
        params_.receiveTimeout = 30;
        params_.sendTimeout = 30;
    }
    void TearDown() override {
        if (session_) {
            EXPECT_EQ(VdbEndVorn(session_, 0), 1);
        }
        VdbErrStackDestroy(errors_);
    }

    std::string allErrors() {
        char buffer[4096] = {0};
        VdbErrStackGetAll(errors_, buffer, sizeof buffer);
        return buffer;
    }

    // One Export as the driver sends it; the document, status and message.
    struct Result {
        std::int32_t rc = 0;
        std::uint32_t status = 0;
        std::string document;
        std::string text;
        std::string message;
    };
    Result exportRequest(const char* command, const std::string& text, std::uint32_t rows,
                         std::uint32_t block, std::uint32_t flags = 36) {
        XmlRequest q;
        std::memset(&q, 0, sizeof q);
        std::strcpy(q.command, command);
        std::string body = text;
        q.text = text.empty() ? nullptr : &body[0];
        q.textLength = text.empty() ? 0 : static_cast<std::int32_t>(text.size() + 1);
        q.rows = rows;
        q.flags = flags;
        q.block = block;
        Result r;
        r.rc = VdbExport(session_, &q);
        r.status = q.status;
        r.message = q.message;
        if (q.document) {
            r.document.assign(q.document, static_cast<std::size_t>(q.documentLength));
            plat::heapFree(q.document);
        }
        if (q.text && q.text != body.data()) {
            r.text.assign(q.text, static_cast<std::size_t>(q.textLength));
            plat::heapFree(q.text);
        }
        return r;
    }

    static SampleDatabase* db_;
    static VorndProcess* server_;
    HERRSTACK errors_ = nullptr;
    KitStartupParams params_;
    HVDB session_ = nullptr;
};

SampleDatabase* VorndKitApi::db_;
VorndProcess* VorndKitApi::server_;

TEST_F(VorndKitApi, RefusedLoginCarriesTheServersMessage) {
    HVDB h = nullptr;
    const std::int32_t rc = VdbStartVorn(&h, &params_, "driver", "wrong", 0, 0);
    EXPECT_EQ(rc & 1, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(allErrors().find("Invalid user name or password"), std::string::npos);
}

TEST_F(VorndKitApi, QueryAcrossBlocksObjectsFaultsAndEnd) {
    ASSERT_EQ(VdbStartVorn(&session_, &params_, "driver", "s3cret", 0, 0), 1) << allErrors();
    ASSERT_NE(session_, nullptr);

    // Blocks of 10, as the driver asks: status 3 while rows remain.
    const std::string q = "SELECT ID, BODY FROM ARTICLES WHERE ID <= 1000 ORDER BY ID";
    long seen = 0;
    std::string fetchKey;
    for (std::uint32_t block = 1;; ++block) {
        const Result r = exportRequest("execsql", q, 10, block);
        ASSERT_EQ(r.rc & 1, 1) << r.message;
        const Document d = parseDocument(r.document);
        ASSERT_TRUE(d.wellFormed) << d.error;
        for (std::size_t i = 0; i < d.rows.size(); ++i) {
            ++seen;
            ASSERT_EQ(d.rows[i][0].data, std::to_string(seen));
            if (!d.rows[i][1].fetchKey.empty() && fetchKey.empty()) fetchKey = d.rows[i][1].fetchKey;
        }
        if (r.status != 3) {
            EXPECT_EQ(r.status, 1u);
            break;
        }
        ASSERT_EQ(d.rows.size(), 10u);
    }
    EXPECT_EQ(seen, 1000);

    // Article 500 has a long body: fetched by its key.
    ASSERT_FALSE(fetchKey.empty());
    Result o = exportRequest("sqlgetobject", "FETCHKEY=" + fetchKey + "\n", 1, 0);
    EXPECT_EQ(o.status & 1, 1u);
    EXPECT_EQ(o.text.substr(0, 5), "TEXT\n");
    EXPECT_EQ(o.document.substr(0, 26), "Long body of article 500: ");
    EXPECT_GT(o.document.size(), 4096u);
    o = exportRequest("sqlgetobject", "FETCHKEY=missing\n", 1, 0);
    EXPECT_EQ(o.status & 1, 0u);
    EXPECT_NE(o.message.find("missing"), std::string::npos);

    // A fault: even status, the document names SQLite's complaint, and the
    // session is still usable.
    const Result f = exportRequest("execsql", "SELECT * FROM NOWHERE", 10, 1);
    EXPECT_EQ(f.status % 2, 0u);
    EXPECT_GE(f.rc, 0);
    EXPECT_EQ(parseDocument(f.document).root, "Fault");
    EXPECT_NE(f.message.find("no such table"), std::string::npos);

    // An update answers its count.
    const Result u = exportRequest("execsql", "UPDATE COUNTERS SET N = N WHERE ID < 3", 10, 1);
    const Document ud = parseDocument(u.document);
    EXPECT_EQ(ud.statementType, "UPDATE");
    ASSERT_EQ(ud.rows.size(), 1u);
    EXPECT_EQ(ud.rows[0][0].data, "2");

    char s1[64] = {0}, s2[128] = {0}, client[64] = {0};
    EXPECT_EQ(VdbXVersion(session_, s1, sizeof s1, s2, sizeof s2, client, sizeof client) & 1, 1);
    EXPECT_EQ(std::string(s1).substr(0, 2), "2.");
    EXPECT_NE(std::string(s2).find("SQLite"), std::string::npos);
    char text[256] = {0};
    EXPECT_EQ(VdbMessage(session_, 22, text, sizeof text) & 1, 1);
    EXPECT_STRNE(text, "");
    EXPECT_EQ(VdbPing(session_) & 1, 1);
}

}  // namespace
