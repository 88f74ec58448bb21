// A test suite sharing one vornd. The server is stopped at the suite's end
// and must exit cleanly: the sanitized vornd reports a leak as a failed exit.
#pragma once

#include "VorndProcess.h"

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

    inline static std::unique_ptr<TestServer> server_;
};

}  // namespace vorndtest
