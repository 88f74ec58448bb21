// A test suite sharing one vornd. The server is stopped at the suite's end
// and must exit cleanly: the sanitized vornd reports a leak as a failed exit.
#pragma once

#include "WireClient.h"

#include <gtest/gtest.h>

#include <memory>

namespace vorndtest {

class VorndSuite : public ::testing::Test {
protected:
    static void startServer(const std::string& name, const std::string& users = "",
                            std::vector<std::string> extra = {}) {
        server_.reset(new TestServer(name, users, std::move(extra)));
        ASSERT_TRUE(server_->ok()) << server_->error();
    }
    static void TearDownTestSuite() {
        if (server_) {
            EXPECT_EQ(server_->stop(), 0);
        }
        server_.reset();
    }
    // A client logged in to the suite's server.
    static void login(WireClient& c, const std::string& user = "tester", const std::string& password = "pw") {
        ASSERT_TRUE(c.connect(server_->port()));
        ASSERT_EQ(c.start(user, password).status, 1);
    }

    inline static std::unique_ptr<TestServer> server_;
};

}  // namespace vorndtest
