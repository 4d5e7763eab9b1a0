// The protected updater on the in-memory machine: it installs and starts only what the
// holder of the test key signed, and refuses everything else with nothing installed.
#include "TestMachine.h"
#include "platform/Files.h"
#include "release/ReleaseFormat.h"
#include "transfer/Protection.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

using namespace testing_support;

platform::P256KeyPair LoadKey() {
    std::ifstream in(QUORVEL_TEST_KEY_FILE, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto key = release::ParseKeyFile(text.str());
    EXPECT_TRUE(key.has_value()) << QUORVEL_TEST_KEY_FILE;
    return key.value_or(platform::P256KeyPair{});
}

struct File {
    std::string path;
    std::string body;
};

const Box kLauncherRefused{
    "AppLaunch.exe is not the launcher of the release signed by Tarnell.\nIt was not started.",
    "Error", 0};

class SignedUpdate : public UpdateMachine {
public:
    void SetUp() override {
        UpdateMachine::SetUp();
        key_ = LoadKey();
    }

    static std::string ListOf(const std::vector<File>& files, bool sized = true) {
        std::vector<release::ListEntry> entries;
        for (const auto& f : files) {
            auto digest = *platform::Sha256Of(f.body);
            entries.push_back({f.path, sized
                                           ? release::MakeStamp("2026-12-09", digest, f.body.size())
                                           : release::MakeStamp("2026-12-09", digest)});
        }
        return release::WriteList(entries);
    }
    std::string Sign(const std::string& list, std::uint32_t number,
                     const platform::P256KeyPair& key,
                     const std::optional<std::string>& expires = std::nullopt) {
        auto file = release::SignList(list, number, key, expires);
        EXPECT_TRUE(file.has_value());
        return file ? release::WriteSignatureFile(*file) : std::string();
    }
    // An older release's signature file: version 1, no size stated.
    std::string SignVersion1(const std::string& list, std::uint32_t number) {
        auto file = *release::SignList(list, number, key_);
        file.version = 1;
        file.listSize.reset();
        file.signature = *platform::SignP256(key_, *platform::Sha256Of(release::SignedPart(file)));
        return release::WriteSignatureFile(file);
    }
    // Serves a release: its files, its list and the list's signature.
    void Serve(const std::vector<File>& files, std::uint32_t number = 1,
               const std::optional<std::string>& expires = std::nullopt) {
        const std::string list = ListOf(files);
        M().Serve(kBase + "filelist.txt", list);
        M().Serve(kBase + "filelist.txt.sig", Sign(list, number, key_, expires));
        for (const auto& f : files) {
            M().Serve(kBase + f.path, f.body);
        }
    }
    // Every path asked of the server, in order.
    std::vector<std::string> Asked() {
        std::vector<std::string> out;
        for (const auto& r : M().requests) {
            out.push_back(r.substr(kBase.size(), r.find('?') - kBase.size()));
        }
        return out;
    }
    std::map<std::string, std::optional<std::string>> Disk() {
        std::map<std::string, std::optional<std::string>> disk;
        for (const auto& path : Everything()) {
            disk[path] = M().FileContent(path);
        }
        return disk;
    }
    std::optional<std::uint32_t> KeptNumber() {
        auto kept = M().FileContent(kTarget + "PelmoraUpdaterRelease.sig");
        auto file = kept ? release::ParseSignatureFile(*kept) : std::nullopt;
        return file ? std::optional<std::uint32_t>(file->release) : std::nullopt;
    }
    void RunAgain() {
        Form().UpdateSoftwareButton.SetEnabled(true); // disabled after each launch
        RunUpdate();
    }
    // Nothing of the release in the target folder (but the number it keeps once the list was
    // accepted), nothing left in the updater's folder, no launch.
    void ExpectNothingInstalled() {
        for (const auto& file : M().FilesBelow(kTarget)) {
            EXPECT_EQ(file, "PelmoraUpdaterRelease.sig");
        }
        EXPECT_EQ(M().FilesBelow("C:\\Quorvel"), std::vector<std::string>{});
        EXPECT_TRUE(M().launches.empty());
    }
    Box Offered(const std::string& what) {
        return Box{"The update server offered " + what +
                       ".\nNothing was installed. Please contact Tarnell.",
                   "Download Error", 0};
    }
    Box ListRefused(const std::string& reason) {
        return Box{"The update list is not a release signed by Tarnell: " + reason +
                       ".\nNothing was installed. Please contact Tarnell.",
                   "Download Error", 0};
    }

    platform::P256KeyPair key_;
    const std::vector<File> kRelease = {
        {"AppLaunch.exe", "launcher 2"}, {"Pelmora.exe", "product 2"}, {"bin/core.dll", "core 2"}};
};

TEST_F(SignedUpdate, GoodReleaseInstallsAndStartsTheLauncher) {
    Serve(kRelease, 4);
    RunUpdate();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 2");
    EXPECT_EQ(M().FileContent(kTarget + "bin\\core.dll"), "core 2");
    ASSERT_EQ(M().launches.size(), 1u);
    EXPECT_EQ(M().launches[0].program, kTarget + "AppLaunch.exe");
    auto kept = M().FileContent(kTarget + "PelmoraUpdaterRelease.sig");
    ASSERT_TRUE(kept.has_value()) << "the release number stays beside the list";
    EXPECT_EQ(release::ParseSignatureFile(*kept)->release, 4u);
}

// Each way a release can fail its check: refused before its list is read, from its signature
// file alone where that suffices, with nothing fetched after it.
TEST_F(SignedUpdate, ListsThatAreNotSignedAreRefused) {
    const std::string list = ListOf(kRelease);
    auto foreign = platform::GenerateP256();
    ASSERT_TRUE(foreign.has_value());
    std::string tampered = list;
    tampered[0] ^= 1;
    std::string flipped = Sign(list, 1, key_);
    flipped[flipped.size() - 3] = flipped[flipped.size() - 3] == '0' ? '1' : '0';
    const std::string yesterday = release::UtcDay(M().unixTime - 86400);
    const std::vector<std::string> sigOnly = {"filelist.txt.sig"};
    const std::vector<std::string> both = {"filelist.txt.sig", "filelist.txt"};
    struct Case {
        const char* name;
        std::string served;             // the list served
        std::optional<std::string> sig; // nothing: not found
        Box box;
        std::vector<std::string> asked;
    } cases[] = {
        {"missing signature", list, std::nullopt,
         ListRefused("its signature file could not be fetched"), sigOnly},
        {"endless signature file", list, Sign(list, 1, key_) + std::string(1024, ' '),
         ListRefused("its signature file could not be fetched"), sigOnly},
        {"empty signature", list, std::string(), ListRefused("its signature file is damaged"),
         sigOnly},
        {"garbage signature", list, std::string("signed, honest\r\n"),
         ListRefused("its signature file is damaged"), sigOnly},
        {"foreign key", list, Sign(list, 1, *foreign),
         ListRefused("its signature was not made with Tarnell's key"), sigOnly},
        {"flipped signature bit", list, flipped,
         ListRefused("its signature was not made with Tarnell's key"), sigOnly},
        {"expired", list, Sign(list, 1, key_, yesterday),
         Offered("a release that has expired (on " + yesterday +
                 "), so the server may be out of date or the connection tampered with"),
         sigOnly},
        {"tampered list", tampered, Sign(list, 1, key_),
         ListRefused("its signature belongs to another list"), both},
        {"endless list", list + list, Sign(list, 1, key_),
         Box{"Could not file list. Check network connections or your PC's firewall.",
             "Download Error", 0},
         both},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Serve(kRelease);
        M().Serve(kBase + "filelist.txt", c.served);
        if (c.sig) {
            M().Serve(kBase + "filelist.txt.sig", *c.sig);
        } else {
            M().http.erase(kBase + "filelist.txt.sig");
        }
        RunUpdate();
        EXPECT_EQ(Boxes(), std::vector<Box>{c.box});
        EXPECT_EQ(Asked(), c.asked);
        ExpectNothingInstalled();
        EXPECT_FALSE(M().IsFile(kTarget + "PelmoraUpdaterRelease.sig"));
        EXPECT_TRUE(Form().UpdateSoftwareButton.Enabled()) << "the run ended before it began";
    }
}

// Release 5 is in place in normal mode. Only a higher number, or release 5's very list, is
// taken; anything else is refused from its signature file alone and leaves the disk as it was.
TEST_F(SignedUpdate, ReleasesOnlyGoUp) {
    const std::vector<File> other = {{"AppLaunch.exe", "launcher 1"}, {"Pelmora.exe", "product 1"}};
    const std::string stale = ", so the server may be out of date or the connection tampered with";
    struct Case {
        const char* name;
        const std::vector<File>& files;
        std::uint32_t number;
        std::string refusal; // empty: installed
    } cases[] = {
        {"older", other, 3, "release 3, older than release 5 already in place" + stale},
        {"same number, other list", other, 5,
         "release 5 with a list other than the one of release 5 already in place, so the "
         "connection may have been tampered with"},
        {"same number, same list", kRelease, 5, ""},
        {"newer", other, 6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        NormalMode();
        Serve(kRelease, 5);
        RunUpdate();
        ASSERT_EQ(M().launches.size(), 1u);
        M().boxes.clear();
        M().requests.clear();
        M().launches.clear();
        const auto before = Disk();
        Serve(c.files, c.number);
        RunAgain();
        if (!c.refusal.empty()) {
            EXPECT_EQ(Boxes(), std::vector<Box>{Offered(c.refusal)});
            EXPECT_EQ(Asked(), std::vector<std::string>{"filelist.txt.sig"});
            EXPECT_TRUE(Disk() == before) << "the disk changed";
            continue;
        }
        EXPECT_EQ(M().FileContent(kInstall + "Pelmora.exe"), c.files[1].body);
        EXPECT_EQ(M().launches.size(), 1u);
        auto kept = M().FileContent(kInstall + "PelmoraUpdaterRelease.sig");
        EXPECT_EQ(kept, M().http[kBase + "filelist.txt.sig"].body);
    }
}

// A file is taken only as long as its stamp states; stamps and signature files of older
// releases, without sizes, still install, as does a release on its expiry day.
TEST_F(SignedUpdate, FilesAreFetchedWithinTheirListedSize) {
    const std::string list = ListOf(kRelease, false);
    const Box failed{"Could not download file. Check network connections or your PC's firewall.",
                     "AppLaunch.exe", 0};
    auto launcher = [this]() -> platform::memory::HttpResponse& {
        return M().http[kBase + "AppLaunch.exe"];
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool installs;
    } cases[] = {
        {"announced above", [&] { launcher().body += "x"; }, false},
        {"announced below", [&] { launcher().body.pop_back(); }, false},
        {"no length", [&] { launcher().lengthSent = false; }, false},
        {"body runs past",
         [&] {
             launcher().announcedLength = launcher().body.size();
             launcher().body += std::string(1 << 20, 'x');
         },
         false},
        {"expires today", [&] { Serve(kRelease, 1, release::UtcDay(M().unixTime)); }, true},
        {"older format",
         [&] {
             M().Serve(kBase + "filelist.txt", list);
             M().Serve(kBase + "filelist.txt.sig", SignVersion1(list, 1));
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Serve(kRelease);
        c.arrange();
        RunUpdate();
        if (!c.installs) {
            EXPECT_EQ(Boxes(), std::vector<Box>{failed});
            ExpectNothingInstalled();
            continue;
        }
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(M().FileContent(kTarget + "bin\\core.dll"), "core 2");
        EXPECT_EQ(M().launches.size(), 1u);
    }
}

// The number in place survives a failure, and a kill, at every call of an update from release
// 5 to 6: afterwards release 4 is still refused, and the next run brings release 6 in whole.
TEST_F(SignedUpdate, NoFaultOrKillLosesTheNumberInPlace) {
    const std::vector<File> six = {{"AppLaunch.exe", "launcher 6"}, {"Pelmora.exe", "product 6"}};
    auto restart = [this] {
        form_.reset();
        M().Restart();
        Form();
        M().calls.clear();
    };
    auto arrange = [&] {
        TearDown();
        SetUp();
        Serve(kRelease, 5);
        RunUpdate();
        Serve(six, 6);
        restart();
    };
    arrange();
    RunUpdate();
    ASSERT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 6");
    const long calls = static_cast<long>(M().calls.size());
    for (int kill = 0; kill < 2; ++kill) {
        for (long k = 0; k < calls && !HasFailure(); ++k) {
            SCOPED_TRACE((kill ? "killed at call " : "fault at call ") + std::to_string(k));
            arrange();
            (kill ? M().killAtCall : M().failCallIndex) = k;
            RunUpdate();
            restart();
            Serve({{"AppLaunch.exe", "launcher 4"}}, 4);
            RunUpdate();
            ASSERT_EQ(Boxes().size(), 1u);
            EXPECT_EQ(Boxes()[0].text.find("The update server offered release 4, older"), 0u);
            EXPECT_GE(KeptNumber(), 5u);
            restart();
            Serve(six, 6);
            RunUpdate();
            EXPECT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 6");
            EXPECT_EQ(M().launches.size(), 1u);
        }
    }
}

TEST_F(SignedUpdate, TamperedFileIsAFailedDownloadAndNothingIsInstalled) {
    Serve(kRelease);
    M().Serve(kBase + "Pelmora.exe", "product 3"); // the listed size, another hash
    RunUpdate();
    const Box named{"Pelmora.exe\nThe downloaded file is not the one the release signed by "
                    "Tarnell names.\nIt was not installed.",
                    "Download Error", 0};
    const Box failed{"Could not download file. Check network connections or your PC's firewall.",
                     "Pelmora.exe", 0};
    EXPECT_EQ(Boxes(), (std::vector<Box>{named, failed}));
    EXPECT_FALSE(M().IsFile(kTarget + "Pelmora.exe"));
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_TRUE(M().launches.empty());
}

// Normal mode: the previous version is neither backed up nor replaced by a file that fails
// its check, and the files checked before it are in place.
TEST_F(SignedUpdate, NormalModeKeepsThePreviousVersionOfATamperedFile) {
    for (const auto& f : kRelease) {
        M().WriteFile(kInstall + Windows(f.path), "old " + f.path);
    }
    M().WriteFile(kInstall + "PelmoraUpdaterList.txt", "");
    NormalMode();
    Serve(kRelease);
    M().Serve(kBase + "bin/core.dll", "core 3");
    RunUpdate();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].caption, "core.dll");
    EXPECT_EQ(M().FileContent(kInstall + "AppLaunch.exe"), "launcher 2");
    EXPECT_EQ(M().FileContent(kInstall + "Pelmora.exe"), "product 2");
    EXPECT_EQ(M().FileContent(kInstall + "bin\\core.dll"), "old bin/core.dll");
    const auto backedUp = M().FilesBelow(kInstall + "UpdateBackup");
    EXPECT_EQ(backedUp.size(), 2u) << "the two files put in place before it";
    for (const auto& file : backedUp) {
        EXPECT_EQ(file.find("core.dll"), std::string::npos) << file;
    }
    EXPECT_TRUE(M().launches.empty());
}

TEST_F(SignedUpdate, EntryWithoutHashIsRefusedUnfetched) {
    std::string list = "AppLaunch.exe\t2026-12-09\r\n";
    M().Serve(kBase + "filelist.txt", list);
    M().Serve(kBase + "filelist.txt.sig", Sign(list, 1, key_));
    M().Serve(kBase + "AppLaunch.exe", "anything");
    RunUpdate();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, "AppLaunch.exe\nThe update list gives no content hash for this "
                               "file, so it cannot be checked.\nNothing was downloaded for it.");
    EXPECT_EQ(Asked(), (std::vector<std::string>{"filelist.txt.sig", "filelist.txt"}));
    EXPECT_TRUE(M().launches.empty());
}

// Manual mode: a present file stays only when it is the signed one.
TEST_F(SignedUpdate, PresentFilesAreKeptOnlyWhenTheirHashMatches) {
    M().WriteFile(kTarget + "Pelmora.exe", "product 2");
    M().WriteFile(kTarget + "bin\\core.dll", "planted core");
    Serve(kRelease);
    RunUpdate();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Asked(), (std::vector<std::string>{"filelist.txt.sig", "filelist.txt",
                                                 "AppLaunch.exe", "bin/core.dll"}));
    EXPECT_EQ(M().FileContent(kTarget + "bin\\core.dll"), "core 2");
    EXPECT_EQ(M().launches.size(), 1u);
}

// A launcher the list does not name, or one changed after its check, is not started.
TEST_F(SignedUpdate, PlantedLauncherIsNotStarted) {
    const std::vector<File> noLauncher = {{"Pelmora.exe", "product 2"}};
    M().WriteFile(kTarget + "AppLaunch.exe", "planted");
    Serve(noLauncher);
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kLauncherRefused});
    EXPECT_TRUE(M().launches.empty());
    EXPECT_FALSE(M().terminated);
}

// Changed in place while the run fetched the other files: checked right before the start.
TEST_F(SignedUpdate, LauncherIsCheckedRightBeforeTheStart) {
    Serve(kRelease);
    M().AtPump(5, [this] { M().WriteFile(kTarget + "AppLaunch.exe", "swapped"); });
    RunUpdate();
    EXPECT_TRUE(M().launches.empty());
    EXPECT_EQ(Boxes(), std::vector<Box>{kLauncherRefused});
    EXPECT_EQ(M().FileContent(kTarget + "AppLaunch.exe"), "swapped");
}

} // namespace
