// The minimum rate of a transfer, and downloads the in-memory machine paces on its clock.
#include "TestMachine.h"
#include "platform/Http.h"
#include "platform/RateWatch.h"

#include <cstdint>
#include <vector>

namespace {

using platform::RateWatch;
using namespace testing_support;

struct Reading {
    std::uint64_t bytes;
    std::uint64_t ms;
    bool going; // what Progress must answer
};

struct RateCase {
    const char* name;
    std::vector<Reading> readings;
};

// Every second, bytesPerSecond more, for the given seconds; all expected to keep going.
std::vector<Reading> Steady(std::uint64_t bytesPerSecond, int seconds) {
    std::vector<Reading> out;
    for (int s = 1; s <= seconds; ++s) {
        out.push_back({bytesPerSecond * static_cast<std::uint64_t>(s),
                       1000 * static_cast<std::uint64_t>(s), true});
    }
    return out;
}

TEST(RateWatch, JudgesEachWholeWindowAgainstTheMinimumRate) {
    const std::uint64_t rate = platform::kMinBytesPerSecond;
    const std::uint64_t window = platform::kRateWindowMs;
    const RateCase cases[] = {
        {"a byte every 10 s stops when the first window ends",
         {{1, 10000, true},
          {2, 20000, true},
          {3, 30000, true},
          {4, 40000, true},
          {5, 50000, true},
          {6, 60000, false}}},
        {"a slow real link of 1 MB a minute keeps going", Steady(1048576 / 60, 180)},
        {"exactly the minimum rate keeps going",
         {{rate * window / 1000, window, true}, {2 * rate * window / 1000, 2 * window, true}}},
        {"one byte short of it over a window stops", {{rate * window / 1000 - 1, window, false}}},
        {"nothing is judged before the window ends", {{0, window - 1, true}}},
        {"a fast start does not carry a later stall",
         {{1 << 20, 1000, true},
          {1 << 20, window + 1000, true},
          {1 << 20, 2 * window + 1000, false}}},
        {"once stopped it stays stopped",
         {{0, window, false}, {1 << 30, window + 1, false}, {1u << 31, 3 * window, false}}},
        {"a late reading judges the time since the window began",
         {{rate * window / 1000, 2 * window, false}}},
    };
    for (const auto& c : cases) {
        RateWatch watch(0, rate, window);
        for (std::size_t i = 0; i < c.readings.size(); ++i) {
            const Reading& r = c.readings[i];
            EXPECT_EQ(watch.Progress(r.bytes, r.ms), r.going) << c.name << ", reading " << i;
        }
    }
}

TEST(RateWatch, CountsFromItsStartTime) {
    RateWatch watch(5000000, 1024, 60000);
    EXPECT_TRUE(watch.Progress(10, 5000000 + 59999));
    EXPECT_FALSE(watch.Progress(10, 5000000 + 60000));
}

const std::string kUrl = "http://update.test/quorvel_installer/a.bin";
const std::string kTarget = "C:\\Quorvel\\temp1234.$$$";

class PacedDownload : public MachineTest {
public:
    void SetUp() override {
        MachineTest::SetUp();
        M().MakeFolders("C:\\Quorvel");
    }
    void ServePaced(std::size_t size, std::size_t chunkBytes, std::uint64_t everyMs) {
        M().Serve(kUrl, std::string(size, 'p'));
        M().http[kUrl].chunkBytes = chunkBytes;
        M().http[kUrl].chunkEveryMs = everyMs;
    }
};

TEST_F(PacedDownload, TrickleFailsWithinAWindowAndLeavesNoFile) {
    ServePaced(20 * 1024, 1, 10000);
    M().WriteFile(kTarget, "previous");
    const std::uint64_t start = M().tickMs;
    EXPECT_FALSE(platform::DownloadToFile(kUrl, kTarget));
    EXPECT_FALSE(M().IsFile(kTarget));
    EXPECT_LE(M().tickMs - start, platform::kRateWindowMs) << "given up within one window";
}

TEST_F(PacedDownload, SlowButSteadyLinkSucceeds) {
    ServePaced(1 << 20, (1 << 20) / 60, 1000); // a megabyte in about a minute
    ASSERT_TRUE(platform::DownloadToFile(kUrl, kTarget));
    EXPECT_EQ(M().FileContent(kTarget), std::string(1 << 20, 'p'));
}

TEST_F(PacedDownload, SmallFileTrickledWithinOneWindowSucceeds) {
    ServePaced(5, 1, 10000);
    EXPECT_TRUE(platform::DownloadToFile(kUrl, kTarget));
    EXPECT_EQ(M().FileContent(kTarget), "ppppp");
}

// https: a certificate that proves nothing serves nothing, and a secure request is never
// sent on over plain http.
TEST_F(PacedDownload, SecureAnswersAndRedirects) {
    const std::string secure = "https://update.test/quorvel_installer/a.bin";
    const std::string plain = "http://update.test/quorvel_installer/b.bin";
    M().Serve(secure, "secure body");
    M().Serve(plain, "plain body");
    M().http["http://update.test/up"].status = 301;
    M().http["http://update.test/up"].redirectTo = secure;
    M().http["https://update.test/down"].status = 302;
    M().http["https://update.test/down"].redirectTo = plain;
    M().http["http://update.test/elsewhere"].status = 302;
    M().http["http://update.test/elsewhere"].redirectTo = "ftp://update.test/a.bin";
    M().http["ftp://update.test/a.bin"].body = "ftp body";
    struct Case {
        const char* name;
        std::string url;
        bool untrusted;
        std::optional<std::string> content;
    };
    const Case cases[] = {
        {"https answered", secure, false, "secure body"},
        {"http moved to https", "http://update.test/up", false, "secure body"},
        {"untrusted certificate", secure, true, std::nullopt},
        {"moved to https, untrusted", "http://update.test/up", true, std::nullopt},
        {"https moved back to http", "https://update.test/down", false, std::nullopt},
        {"moved to another scheme", "http://update.test/elsewhere", false, std::nullopt},
    };
    for (const auto& c : cases) {
        M().http[secure].untrustedCertificate = c.untrusted;
        M().WriteFile(kTarget, "previous");
        EXPECT_EQ(platform::DownloadToFile(c.url, kTarget), c.content.has_value()) << c.name;
        EXPECT_EQ(M().FileContent(kTarget), c.content) << c.name;
    }
}

// In a run, a trickling list or file ends with its message like any failed download.
class TricklingRun : public MachineTest {
public:
    const std::string kBase =
        "http://127.0.0.1:8480/public/tarnell/software/updates/quorvel_installer/";
    const std::string kFolder = "C:\\Users\\op\\Desktop\\Tarnell Temp Files\\";
    void Trickle(const std::string& name) {
        M().http[kBase + name].chunkBytes = 1;
        M().http[kBase + name].chunkEveryMs = 10000;
    }
};

TEST_F(TricklingRun, TrickledFileStopsTheRunWithTheDownloadMessage) {
    M().MakeFolders("C:\\Users\\op\\Desktop");
    M().Serve(kBase + "filelist.txt", "a.dll\t1\r\nbin/ui.dll\t1\r\nAppLaunch.exe\t1\r\n");
    M().Serve(kBase + "a.dll", "new a.dll");
    M().Serve(kBase + "bin/ui.dll", std::string(20 * 1024, 'u'));
    M().Serve(kBase + "AppLaunch.exe", "launcher");
    Trickle("bin/ui.dll");
    platform::memory::Click(Form().UpdateSoftwareButton);
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not download file. Check network connections or "
                                          "your PC's firewall.",
                                          "ui.dll", 0}}));
    EXPECT_EQ(M().FileContent(kFolder + "a.dll"), "new a.dll");
    EXPECT_FALSE(M().IsFile(kFolder + "bin\\ui.dll"));
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_TRUE(M().launches.empty());
}

TEST_F(TricklingRun, TrickledListStopsTheRunWithTheListMessage) {
    M().MakeFolders("C:\\Users\\op\\Desktop");
    M().Serve(kBase + "filelist.txt", std::string(2000, 'x') + "\ta\r\n");
    Trickle("filelist.txt");
    platform::memory::Click(Form().UpdateSoftwareButton);
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not file list. Check network connections or your "
                                          "PC's firewall.",
                                          "Download Error", 0}}));
    EXPECT_EQ(M().requests.size(), 1u) << "no file is asked for";
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\PelmoraUpdaterList.txt"));
}

} // namespace
