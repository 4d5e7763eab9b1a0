// The HTTP download: only a final 200 with its whole body counts, and a failure leaves no file.
#include "contract/Fixture.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Http.h"

#include <gtest/gtest.h>

namespace {

using platform::DownloadToFile;

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

TEST_F(DownloadContract, OkWithBodyAndRedirectFollowed) {
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("ok.bin") + "?fakevariable=123457", target_));
    EXPECT_EQ(fixture::Content(target_), "release body\r\n");
    EXPECT_TRUE(platform::RemoveFile(target_));
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("moved.bin"), target_));
    EXPECT_EQ(fixture::Content(target_), "release body\r\n");
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("a b/c.txt"), target_));
    EXPECT_EQ(fixture::Content(target_), "inner\r\n");
}

TEST_F(DownloadContract, LargeBodyArrivesWhole) {
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("big.bin"), target_));
    auto content = fixture::Content(target_);
    ASSERT_TRUE(content.has_value());
    EXPECT_EQ(content->size(), std::size_t{1} << 20);
    EXPECT_TRUE(*content == fixture::BigBody());
}

// A release may ship a file of no bytes: it arrives as an empty file, not as a failure.
TEST_F(DownloadContract, EmptyBodyGivesAnEmptyFile) {
    fixture::MakeFile(target_, "previous");
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("empty.bin"), target_));
    EXPECT_EQ(fixture::Content(target_), "");
}

TEST_F(DownloadContract, ExistingTargetIsReplaced) {
    fixture::MakeFile(target_, std::string(4000, 'o'));
    EXPECT_TRUE(DownloadToFile(fixture::ServerUrl("ok.bin"), target_));
    EXPECT_EQ(fixture::Content(target_), "release body\r\n");
}

TEST_F(DownloadContract, FailuresLeaveNoFile) {
    const std::string urls[] = {
        fixture::ServerUrl("missing.bin"), fixture::ServerUrl("error.bin"),
        fixture::ServerUrl("short.bin"),   fixture::ServerUrl("drop.bin"),
        fixture::ServerUrl("loop.bin"),    fixture::RefusedUrl(),
    };
    for (const auto& url : urls) {
        fixture::MakeFile(target_, "previous");
        EXPECT_FALSE(DownloadToFile(url, target_)) << url;
        EXPECT_FALSE(platform::FileExists(target_)) << url;
    }
}

// A body whose end cannot be told from a cut is refused even when whole; encoded bytes are
// never stored as the file.
TEST_F(DownloadContract, UnprovenOrEncodedBodiesLeaveNoFile) {
    const char* names[] = {"chunked.bin",  "chunked-cut.bin",  "chunked-nolast.bin",
                           "nolength.bin", "nolength-cut.bin", "gzip.bin",
                           "deflate.bin"};
    for (const char* name : names) {
        fixture::MakeFile(target_, "previous");
        EXPECT_FALSE(DownloadToFile(fixture::ServerUrl(name), target_)) << name;
        EXPECT_FALSE(platform::FileExists(target_)) << name;
    }
}

// The digest taken while the body arrives is that of the bytes in the file: after a redirect,
// across many pieces, and for no bytes at all.
TEST_F(DownloadContract, DigestIsOfTheBytesWritten) {
    for (const char* name : {"ok.bin", "moved.bin", "big.bin", "empty.bin"}) {
        platform::Sha256Digest digest{};
        fixture::MakeFile(target_, "previous");
        ASSERT_TRUE(DownloadToFile(fixture::ServerUrl(name), target_, &digest)) << name;
        auto content = fixture::Content(target_);
        ASSERT_TRUE(content.has_value()) << name;
        EXPECT_EQ(platform::Sha256Of(*content), digest) << name;
    }
    platform::Sha256Digest digest{};
    for (const char* name : {"short.bin", "missing.bin", "chunked-cut.bin"}) {
        fixture::MakeFile(target_, "previous");
        EXPECT_FALSE(DownloadToFile(fixture::ServerUrl(name), target_, &digest)) << name;
        EXPECT_FALSE(platform::FileExists(target_)) << name;
    }
    EXPECT_EQ(digest, platform::Sha256Digest{}) << "set only when the download succeeds";
}

TEST_F(DownloadContract, RedirectsFollowedUpToTheLimitOneMoreRefused) {
    const int first = fixture::kRedirectChain - platform::kMaxRedirects;
    ASSERT_GT(first, 0);
    EXPECT_TRUE(
        DownloadToFile(fixture::ServerUrl("hop" + std::to_string(first) + ".bin"), target_));
    EXPECT_EQ(fixture::Content(target_), "release body\r\n");
    EXPECT_FALSE(
        DownloadToFile(fixture::ServerUrl("hop" + std::to_string(first - 1) + ".bin"), target_));
    EXPECT_FALSE(platform::FileExists(target_));
}

} // namespace
