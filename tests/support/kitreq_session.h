// A kit session against the scripted fake server, for the request family's
// tests: the script opens with the XML start (request 4002) and closes with
// the end request (102); a test adds its own steps between, opens the
// session, makes its calls through the C API and then reads what the server
// received.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_server.h"
#include "kitreq_bytes.h"
#include "vornvdb/vornkit.h"

namespace kitreq {

class KitSession : public ::testing::Test {
protected:
    void SetUp() override {
        errs_ = VdbErrStackCreate("Kit", "one", "two", "three");
        srv_.expect('T', 4002).raw(Answer(4002, 1).frame());
    }

    void TearDown() override {
        if (h_) {
            EXPECT_EQ(VdbEndVorn(h_, 0), 1);
        }
        if (started_) Finish();
        VdbErrStackDestroy(errs_);
    }

    // The next request the server expects, and the answer it sends.
    void Step(std::uint8_t kind, std::uint16_t number, const Block& answer) {
        srv_.expect(kind, number).raw(answer.frame());
    }
    void Step(std::uint16_t number, const Block& answer) { Step('T', number, answer); }

    // Ends the script with the end request (none when the test breaks the
    // session) and opens the session.
    void Open(bool endRequest = true) {
        endRequest_ = endRequest;
        if (endRequest) Step(102, Answer(102, 1));
        srv_.start();
        started_ = true;
        KitStartupParams p = vorntest::ParamsFor(srv_, errs_, 10);
        ASSERT_EQ(VdbXmlStartup(&h_, &p), 1);
        ASSERT_NE(h_, nullptr);
    }

    // Ends the session and returns the request blocks that the test's calls
    // sent (without the start and end requests).
    std::vector<Bytes> Close() {
        EXPECT_EQ(VdbEndVorn(h_, 0), 1);
        h_ = nullptr;
        Finish();
        std::vector<Bytes> got = srv_.received();
        std::size_t framing = endRequest_ ? 2 : 1;
        if (got.size() < framing) return {};
        return std::vector<Bytes>(got.begin() + 1, got.end() - (framing - 1));
    }

    // Every text on the error stack, newest first, joined by "\r\n".
    std::string Errors() { return vorntest::ErrorTexts(errs_); }

    vorntest::FakeServer srv_;
    HVDB h_ = nullptr;
    HERRSTACK errs_ = nullptr;

private:
    void Finish() {
        started_ = false;
        for (const std::string& f : srv_.finish()) ADD_FAILURE() << "server: " << f;
    }

    bool started_ = false;
    bool endRequest_ = true;
};

// Compares the request blocks a test's calls sent with the bytes it wrote out.
inline ::testing::AssertionResult SameBlocks(const std::vector<Bytes>& got, const std::vector<Bytes>& want) {
    if (got == want) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << got.size() << " blocks, " << want.size() << " expected";
    for (std::size_t i = 0; i < got.size() || i < want.size(); ++i) {
        const Bytes none;
        const Bytes& g = i < got.size() ? got[i] : none;
        const Bytes& w = i < want.size() ? want[i] : none;
        if (g != w) failure << "\n  [" << i << "] got:  " << Hex(g) << "\n  [" << i << "] want: " << Hex(w);
    }
    return failure;
}

}  // namespace kitreq
