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
          "deflate.bin", "huge.bin", "headers.bin"}) {
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
