// The HTTP download: only a final 200 with its whole body counts, and a failure leaves no file.
#include "contract/Fixture.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "transfer/Fetch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The whole download as the updater makes it: the platform's transfer under the rules.
bool DownloadToFile(const std::string& url, const std::string& path,
                    platform::Sha256Digest* digest = nullptr, const DownloadBounds& bounds = {}) {
    return FetchFile(url, path, bounds, digest);
}

class DownloadContract : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fixture::ScratchFolder();
        if (!fixture::ServerAvailable()) {
            GTEST_FAIL() << "the test server is not running";
        }
        target_ = root_ + "temp1234.$$$";
    }
    std::string root_;
    std::string target_;
};

// A 200 with its whole body replaces the target, a file of no bytes included, after
// redirects up to the limit; the digest taken as the body arrives is that of the file.
TEST_F(DownloadContract, BodiesThatArriveWholeReplaceTheTarget) {
    const std::string lastHop =
        "hop" + std::to_string(fixture::kRedirectChain - platform::kMaxRedirects);
    const std::pair<std::string, std::string> answers[] = {
        {"ok.bin?fakevariable=123457", "release body\r\n"},
        {"moved.bin", "release body\r\n"},
        {lastHop + ".bin", "release body\r\n"},
        {"a b/c.txt", "inner\r\n"},
        {"empty.bin", ""},
        {"big.bin", fixture::BigBody()},
    };
    for (const auto& [name, body] : answers) {
        for (bool withDigest : {false, true}) {
            fixture::MakeFile(target_, std::string(4000, 'o'));
            platform::Sha256Digest digest{};
            ASSERT_TRUE(
                DownloadToFile(fixture::ServerUrl(name), target_, withDigest ? &digest : nullptr))
                << name;
            EXPECT_TRUE(fixture::Content(target_) == body) << name;
            EXPECT_TRUE(!withDigest || platform::Sha256Of(body) == digest) << name;
        }
    }
}

// Anything else fails and leaves no file, the previous one gone too, and no digest: an error
// status, a body cut short or lost, a redirect loop or one redirect too many, a refused
// connection, a body whose end cannot be told from a cut, encoded bytes, a length no drive
// can take, and headers without end.
TEST_F(DownloadContract, EverythingElseFailsAndLeavesNoFile) {
    const int first = fixture::kRedirectChain - platform::kMaxRedirects;
    ASSERT_GT(first, 0);
    std::vector<std::string> urls = {
        fixture::RefusedUrl(), fixture::ServerUrl("hop" + std::to_string(first - 1) + ".bin")};
    for (const char* name :
         {"missing.bin", "error.bin", "short.bin", "drop.bin", "loop.bin", "chunked.bin",
          "chunked-cut.bin", "chunked-nolast.bin", "nolength.bin", "nolength-cut.bin", "gzip.bin",
          "deflate.bin", "huge.bin", "headers.bin", "framed.bin"}) {
        urls.push_back(fixture::ServerUrl(name));
    }
    for (const auto& url : urls) {
        for (bool withDigest : {false, true}) {
            fixture::MakeFile(target_, "previous");
            platform::Sha256Digest digest{};
            EXPECT_FALSE(DownloadToFile(url, target_, withDigest ? &digest : nullptr)) << url;
            EXPECT_FALSE(platform::FileExists(target_)) << url;
            EXPECT_EQ(digest, platform::Sha256Digest{}) << url;
        }
    }
}

// A caller that knows a file's length beforehand: only an answer that announces it, and no
// more than the most, is taken.
TEST_F(DownloadContract, LengthsKnownBeforehandBoundTheAnswer) {
    const std::string url = fixture::ServerUrl("ok.bin"); // 14 bytes
    struct Case {
        DownloadBounds bounds;
        bool taken;
    };
    const Case cases[] = {
        {{14, 100}, true},  {{std::nullopt, 14}, true},  {{13, 100}, false},
        {{15, 100}, false}, {{std::nullopt, 13}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadToFile(url, target_, nullptr, c.bounds), c.taken);
        EXPECT_EQ(platform::FileExists(target_), c.taken);
    }
}

} // namespace

namespace {

using platform::Transfer;
using platform::TransferEnd;

platform::HeadRule TakeWhole(const std::string& path) {
    return RuleFor(path, DownloadBounds{});
}

// Several transfers go on at once; one cancelled ends alone, at once, writing nothing more,
// and the others arrive whole.
TEST_F(DownloadContract, TransfersGoOnWhileOneIsCancelled) {
    const std::string names[] = {"ok.bin", "slow.bin", "a b/c.txt", "big.bin"};
    std::vector<std::unique_ptr<Transfer>> transfers;
    for (int i = 0; i < 4; ++i) {
        const std::string path = root_ + "t" + std::to_string(i);
        transfers.push_back(std::make_unique<Transfer>(
            platform::TransferRequest{fixture::ServerUrl(names[i]), path, 0, std::string(), true},
            TakeWhole(path)));
    }
    transfers[1]->Cancel();
    EXPECT_TRUE(transfers[1]->Ended());
    EXPECT_EQ(transfers[1]->Wait().end, TransferEnd::Cancelled);
    const std::string bodies[] = {"release body\r\n", "", "inner\r\n", fixture::BigBody()};
    for (int i : {0, 2, 3}) {
        while (!transfers[i]->WaitFor(5)) {
        }
        EXPECT_TRUE(transfers[i]->Ended()) << "a wait for a while that ends says so";
        const platform::TransferReport& report = transfers[i]->Wait();
        EXPECT_EQ(report.end, TransferEnd::Complete) << names[i] << ": " << report.reason;
        EXPECT_TRUE(fixture::Content(root_ + "t" + std::to_string(i)) == bodies[i]) << names[i];
        EXPECT_TRUE(report.digest == platform::Sha256Of(bodies[i])) << names[i];
    }
    EXPECT_NE(fixture::Content(root_ + "t1").value_or("").size(), fixture::BigBody().size());
}

// In a line of one, each transfer is sent only once the one before it has ended, one made
// First before those waiting; one cancelled while it waits ends at once and writes nothing.
// One its owner gives up on gives its turn back at once, though its thread still sits in
// the call (slow.bin answers after 5 s).
TEST_F(DownloadContract, TransfersOfALineTakeTurns) {
    platform::TransferLine line(1);
    auto make = [&](const char* name, const std::string& path, platform::Turn::Place place) {
        return std::make_unique<Transfer>(
            platform::TransferRequest{fixture::ServerUrl(name), path, 0, std::string(), false},
            TakeWhole(path), platform::Turn{&line, place});
    };
    using Place = platform::Turn::Place;
    auto first = make("slow.bin", root_ + "t0", Place::InTurn);
    auto inTurn = make("ok.bin", root_ + "t1", Place::InTurn);
    auto cancelled = make("a b/c.txt", root_ + "t2", Place::InTurn);
    auto before = make("a b/c.txt", root_ + "t3", Place::First);
    cancelled->Cancel();
    EXPECT_EQ(cancelled->Wait().end, TransferEnd::Cancelled);
    first->Cancel();
    EXPECT_TRUE(inTurn->WaitFor(4000)) << "a turn held by a transfer given up on";
    EXPECT_EQ(inTurn->Wait().end, TransferEnd::Complete) << inTurn->Wait().reason;
    EXPECT_TRUE(before->Ended()) << "sent after one made before it in turn";
    EXPECT_EQ(before->Wait().end, TransferEnd::Complete) << before->Wait().reason;
    EXPECT_FALSE(platform::FileExists(root_ + "t2"));
}

// A part continues only under a 206 whose Content-Range starts at its end and names its full
// length; an If-Range the file no longer matches is answered 200 and starts over; a
// Content-Range that does not fit is refused and leaves the part as it was.
TEST_F(DownloadContract, PartsContinueOnlyWhereTheRangeFits) {
    const std::string big = fixture::BigBody();
    const std::uint64_t have = 1000;
    platform::Transfer first({fixture::ServerUrl("big.bin"), target_, 0, std::string(), false},
                             TakeWhole(target_));
    const std::string etag = first.Wait().head.etag;
    ASSERT_EQ(first.Wait().end, TransferEnd::Complete);
    ASSERT_FALSE(etag.empty());
    ASSERT_EQ(ResumeValidator(first.Wait().head), etag) << "a strong ETag is the validator";
    const struct {
        const char* name;
        std::string ifRange;
        std::uint64_t fullLength;
        TransferEnd end;
        int status;
        std::string after;
    } cases[] = {
        {"big.bin", etag, big.size(), TransferEnd::Complete, 206, big},
        {"big.bin", "\"another\"", big.size(), TransferEnd::Complete, 200, big},
        {"big.bin", etag, big.size() + 1, TransferEnd::Refused, 206, big.substr(0, have)},
        {"ranged.bin", "", big.size(), TransferEnd::Refused, 206, big.substr(0, have)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " under " + c.ifRange);
        std::string ifRange = c.ifRange;
        if (std::string(c.name) == "ranged.bin") {
            platform::Transfer probe({fixture::ServerUrl(c.name), target_, 0, std::string(), false},
                                     TakeWhole(target_));
            ifRange = probe.Wait().head.etag;
        }
        fixture::MakeFile(target_, big.substr(0, have));
        platform::Transfer resumed(
            {fixture::ServerUrl(c.name), target_, have, ifRange, true},
            RuleFor(target_, DownloadBounds{}, ResumeFrom{have, c.fullLength, ifRange}));
        const platform::TransferReport& report = resumed.Wait();
        EXPECT_EQ(report.end, c.end) << report.reason;
        EXPECT_EQ(report.head.status, c.status);
        EXPECT_TRUE(fixture::Content(target_) == c.after);
        EXPECT_TRUE(c.end != TransferEnd::Complete || report.digest == platform::Sha256Of(big));
    }
}

} // namespace
