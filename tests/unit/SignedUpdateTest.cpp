// The protected updater on the in-memory machine: it installs and starts only what the
// holder of the test key signed, and refuses everything else with nothing installed.
#include "TestMachine.h"
#include "platform/Files.h"
#include "release/ReleaseFormat.h"
#include "transfer/Protection.h"

#include <fstream>
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

    static std::string ListOf(const std::vector<File>& files) {
        std::vector<release::ListEntry> entries;
        for (const auto& f : files) {
            entries.push_back(
                {f.path, release::MakeStamp("2026-12-09", *platform::Sha256Of(f.body))});
        }
        return release::WriteList(entries);
    }
    std::string Sign(const std::string& list, std::uint32_t number,
                     const platform::P256KeyPair& key) {
        auto file = release::SignList(list, number, key);
        EXPECT_TRUE(file.has_value());
        return file ? release::WriteSignatureFile(*file) : std::string();
    }
    // Serves a release: its files, its list and the list's signature.
    void Serve(const std::vector<File>& files, std::uint32_t number = 1) {
        const std::string list = ListOf(files);
        M().Serve(kBase + "filelist.txt", list);
        M().Serve(kBase + "filelist.txt.sig", Sign(list, number, key_));
        for (const auto& f : files) {
            M().Serve(kBase + f.path, f.body);
        }
    }
    void RunAgain() {
        Form().UpdateSoftwareButton.SetEnabled(true); // disabled after each launch
        RunUpdate();
    }
    bool OnlyTheListWasFetched() {
        return Fetched() == std::vector<std::string>{"filelist.txt.sig"};
    }
    // Nothing of the release in the target folder, no list, no launch.
    void ExpectNothingInstalled() {
        EXPECT_EQ(M().FilesBelow(kTarget), std::vector<std::string>{});
        EXPECT_FALSE(M().IsFile("C:\\Quorvel\\PelmoraUpdaterList.txt"));
        EXPECT_FALSE(M().IsFile("C:\\Quorvel\\PelmoraUpdaterList.sig"));
        EXPECT_TRUE(M().launches.empty());
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

// Each way a list can fail its check: refused before it is read, nothing fetched after it.
TEST_F(SignedUpdate, ListsThatAreNotSignedAreRefused) {
    const std::string list = ListOf(kRelease);
    auto foreign = platform::GenerateP256();
    ASSERT_TRUE(foreign.has_value());
    std::string tampered = list;
    tampered[0] ^= 1;
    std::string flipped = Sign(list, 1, key_);
    flipped[flipped.size() - 3] = flipped[flipped.size() - 3] == '0' ? '1' : '0';
    struct Case {
        const char* name;
        std::string served;             // the list served
        std::optional<std::string> sig; // nothing: not found
        std::string reason;
    } cases[] = {
        {"missing signature", list, std::nullopt, "its signature file could not be fetched"},
        {"empty signature", list, std::string(), "its signature file is damaged"},
        {"garbage signature", list, std::string("signed, honest\r\n"),
         "its signature file is damaged"},
        {"foreign key", list, Sign(list, 1, *foreign),
         "its signature was not made with Tarnell's key"},
        {"flipped signature bit", list, flipped, "its signature was not made with Tarnell's key"},
        {"tampered list", tampered, Sign(list, 1, key_), "its signature belongs to another list"},
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
        EXPECT_EQ(Boxes(), std::vector<Box>{ListRefused(c.reason)});
        EXPECT_TRUE(OnlyTheListWasFetched());
        ExpectNothingInstalled();
        EXPECT_TRUE(Form().UpdateSoftwareButton.Enabled()) << "the run ended before it began";
    }
}

TEST_F(SignedUpdate, OlderReleaseThanTheOneInPlaceIsRefused) {
    Serve(kRelease, 5);
    RunUpdate();
    ASSERT_EQ(M().launches.size(), 1u);
    // The attacker replays release 3, once genuine, with its own old files.
    const std::vector<File> old = {{"AppLaunch.exe", "launcher 1"}, {"Pelmora.exe", "product 1"}};
    M().launches.clear();
    M().requests.clear();
    Serve(old, 3);
    RunAgain();
    EXPECT_EQ(Boxes(), (std::vector<Box>{
                           ListRefused("it is release 3, older than release 5 already in place")}));
    EXPECT_TRUE(OnlyTheListWasFetched());
    EXPECT_TRUE(M().launches.empty());
    EXPECT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 2");
    // The same release again, or a newer one, is taken.
    M().requests.clear();
    Serve(old, 5);
    RunAgain();
    EXPECT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 1");
}

TEST_F(SignedUpdate, TamperedFileIsAFailedDownloadAndNothingIsInstalled) {
    Serve(kRelease);
    M().Serve(kBase + "Pelmora.exe", "product 2 with something added");
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
    M().Serve(kBase + "bin/core.dll", "core 2, tampered");
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
    EXPECT_TRUE(OnlyTheListWasFetched());
    EXPECT_TRUE(M().launches.empty());
}

// Manual mode: a present file stays only when it is the signed one.
TEST_F(SignedUpdate, PresentFilesAreKeptOnlyWhenTheirHashMatches) {
    M().WriteFile(kTarget + "Pelmora.exe", "product 2");
    M().WriteFile(kTarget + "bin\\core.dll", "planted core");
    Serve(kRelease);
    RunUpdate();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Fetched(),
              (std::vector<std::string>{"filelist.txt.sig", "AppLaunch.exe", "bin/core.dll"}));
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
