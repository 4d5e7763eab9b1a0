// The protected updater on the in-memory machine: it installs and starts only what the
// holder of the test key signed, and refuses everything else with nothing installed.
#include "TestMachine.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "release/KeyId.h"
#include "release/KeyStatement.h"
#include "release/ReleaseFormat.h"
#include "transfer/Protection.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

using namespace testing_support;

platform::P256KeyPair LoadKey(const char* file = QUORVEL_TEST_KEY_FILE) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto key = release::ParseKeyFile(text.str());
    EXPECT_TRUE(key.has_value()) << file;
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
                     const std::optional<std::string>& expires = std::nullopt,
                     std::uint32_t statements = 0) {
        auto file = release::SignList(list, number, key, expires, statements);
        EXPECT_TRUE(file.has_value());
        return file ? release::WriteSignatureFile(*file) : std::string();
    }
    // Serves a release: its files, its list and the list's signature.
    void Serve(const std::vector<File>& files, std::uint32_t number = 1,
               const std::optional<std::string>& expires = std::nullopt) {
        ServeBy(key_, 0, files, number, expires);
    }
    // The same, signed by key, which the first `statements` key statements lead to.
    void ServeBy(const platform::P256KeyPair& key, std::uint32_t statements,
                 const std::vector<File>& files, std::uint32_t number = 1,
                 const std::optional<std::string>& expires = std::nullopt) {
        const std::string list = ListOf(files);
        M().Serve(kBase + "filelist.txt", list);
        M().Serve(kBase + "filelist.txt.sig", Sign(list, number, key, expires, statements));
        for (const auto& f : files) {
            M().Serve(kBase + f.path, f.body);
        }
    }
    std::vector<std::string> Asked() { // every path asked of the server, in order
        std::vector<std::string> out;
        for (const auto& r : M().world.requests)
            out.push_back(r.substr(kBase.size(), r.find('?') - kBase.size()));
        return out;
    }
    std::map<std::string, std::optional<std::string>> Disk() {
        std::map<std::string, std::optional<std::string>> disk;
        for (const auto& path : Everything())
            disk[path] = M().FileContent(path);
        return disk;
    }
    void RunAgain() {
        Form().UpdateSoftwareButton.SetEnabled(true); // disabled after each launch
        RunUpdate();
    }
    // Nothing of the release in the target folder (but the number it keeps once the list was
    // accepted), nothing left in the updater's folder, no launch.
    void ExpectNothingInstalled() {
        for (const auto& file : M().FilesBelow(kTarget)) {
            EXPECT_TRUE(file == "PelmoraUpdaterRelease.sig" || file == "PelmoraUpdaterKeys.txt")
                << file;
        }
        EXPECT_EQ(M().FilesBelow("C:\\Quorvel"), std::vector<std::string>{});
        EXPECT_TRUE(M().process.launches.empty());
    }
    Box Offered(const std::string& what) {
        return Box{"The update server offered " + what +
                       ".\nNothing was installed. Please contact Tarnell.",
                   "Download Error", 0};
    }
    static Box NotTrusted(const std::string& reason) {
        return Box{"The release on the update server is not one this updater can trust: " + reason +
                       ".\nNothing was installed. Please contact Tarnell.",
                   "Download Error", 0};
    }
    Box ListRefused(const std::string& reason) {
        return Box{"The update list is not a release signed by Tarnell: " + reason +
                       ".\nNothing was installed. Please contact Tarnell.",
                   "Download Error", 0};
    }

    // Serves key statement `number` handing signing from `from` to `to`.
    std::string Hand(std::uint32_t number, const platform::P256KeyPair& from,
                     const platform::P256KeyPair& to,
                     std::vector<platform::P256PublicKey> next = {}) {
        auto statement = release::MakeKeyStatement(number, from, to, std::move(next));
        EXPECT_TRUE(statement.has_value());
        std::string text = statement ? release::WriteKeyStatement(*statement) : std::string();
        M().Serve(kBase + release::StatementPath(number), text);
        return text;
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
    ASSERT_EQ(M().process.launches.size(), 1u);
    EXPECT_EQ(M().process.launches[0].program, kTarget + "AppLaunch.exe");
    auto kept = M().FileContent(kTarget + "PelmoraUpdaterRelease.sig");
    ASSERT_TRUE(kept.has_value()) << "the release number stays beside the list";
    EXPECT_EQ(release::ParseSignatureFile(*kept)->release, 4u);
}

// Each way a release can fail its checks, and the older forms that still pass: a release is
// refused before its list is read (from its signature file alone where that suffices), a file
// that is not as long as its stamp states is a failed download, and nothing is left behind.
TEST_F(SignedUpdate, WhatTheSignatureStatesIsEnforced) {
    const std::string list = ListOf(kRelease), unsized = ListOf(kRelease, false);
    std::string tampered = list, flipped = Sign(list, 1, key_);
    tampered[0] ^= 1;
    flipped[flipped.size() - 3] = flipped[flipped.size() - 3] == '0' ? '1' : '0';
    const auto foreign = *platform::GenerateP256();
    auto v1 = *release::SignList(unsized, 1, key_); // an older release's: no size stated
    v1.version = 1;
    v1.listSize.reset();
    v1.signature = *platform::SignP256(key_, *platform::Sha256Of(release::SignedPart(v1)));
    const std::string yesterday = release::UtcDay(M().world.unixTime - 86400);
    auto serve = [this](const char* name, const std::string& body) {
        M().Serve(kBase + name, body);
    };
    auto launcher = [this]() -> auto& {
        return M().world.http[kBase + "AppLaunch.exe"];
    };
    const Box listFailed{"Could not file list. Check network connections or your PC's firewall.",
                         "Download Error", 0};
    const Box fileFailed{
        "Could not download file. Check network connections or your PC's firewall.",
        "AppLaunch.exe", 0};
    const std::vector<std::string> sig = {"filelist.txt.sig"},
                                   both = {"filelist.txt.sig", "filelist.txt"},
                                   file = settings::kTransfers > 1
                                              // the later files were fetched ahead, never taken
                                              ? std::vector<std::string>{"filelist.txt.sig",
                                                                         "filelist.txt",
                                                                         "AppLaunch.exe",
                                                                         "Pelmora.exe",
                                                                         "bin/core.dll"}
                                              : std::vector<std::string>{"filelist.txt.sig",
                                                                         "filelist.txt",
                                                                         "AppLaunch.exe"};
    const std::string unfetched = "its signature file could not be fetched",
                      damaged = "its signature file is damaged",
                      notOurs = "its signature was not made with Tarnell's key";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::optional<Box> box; // nothing: installed
        std::vector<std::string> asked;
    } cases[] = {
        {"missing signature", [&] { M().world.http.erase(kBase + "filelist.txt.sig"); },
         ListRefused(unfetched), sig},
        {"endless signature file",
         [&] { serve("filelist.txt.sig", Sign(list, 1, key_) + std::string(1024, ' ')); },
         ListRefused(unfetched), sig},
        {"empty signature", [&] { serve("filelist.txt.sig", ""); }, ListRefused(damaged), sig},
        {"garbage signature", [&] { serve("filelist.txt.sig", "signed, honest\r\n"); },
         ListRefused(damaged), sig},
        {"foreign key", [&] { serve("filelist.txt.sig", Sign(list, 1, foreign)); },
         NotTrusted("it is signed with key " + release::KeyId(foreign.publicKey) +
                    ", and this updater takes releases signed with key " +
                    release::KeyId(key_.publicKey) + " only"),
         sig},
        {"flipped signature bit", [&] { serve("filelist.txt.sig", flipped); }, ListRefused(notOurs),
         sig},
        {"expired", [&] { serve("filelist.txt.sig", Sign(list, 1, key_, yesterday)); },
         Offered("a release that has expired (on " + yesterday +
                 "), so the server may be out of date or the connection tampered with"),
         sig},
        {"tampered list", [&] { serve("filelist.txt", tampered); },
         ListRefused("its signature belongs to another list"), both},
        {"endless list", [&] { serve("filelist.txt", list + list); }, listFailed, both},
        {"file announced above its size", [&] { launcher().body += "x"; }, fileFailed, file},
        {"file announced below its size", [&] { launcher().body.pop_back(); }, fileFailed, file},
        {"file without a length", [&] { launcher().lengthSent = false; }, fileFailed, file},
        {"file body running past its size",
         [&] {
             launcher().announcedLength = launcher().body.size();
             launcher().body += std::string(1 << 20, 'x');
         },
         fileFailed, file},
        {"expires today",
         [&] {
             serve("filelist.txt.sig", Sign(list, 1, key_, release::UtcDay(M().world.unixTime)));
         },
         std::nullopt,
         {}},
        {"older release",
         [&] {
             serve("filelist.txt", unsized),
                 serve("filelist.txt.sig", release::WriteSignatureFile(v1));
         },
         std::nullopt,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Serve(kRelease);
        c.arrange();
        RunUpdate();
        EXPECT_TRUE(Form().UpdateSoftwareButton.Enabled() == c.box.has_value());
        if (!c.box) {
            EXPECT_TRUE(Boxes().empty() && M().FileContent(kTarget + "bin\\core.dll") == "core 2");
            continue;
        }
        EXPECT_EQ(Boxes(), std::vector<Box>{*c.box});
        EXPECT_EQ(Asked(), c.asked);
        ExpectNothingInstalled();
    }
}

// Release 5 is in place in normal mode. Only a higher number, or release 5's very list, is
// taken; anything else is refused from its signature file alone and leaves the disk as it was.
TEST_F(SignedUpdate, ReleasesOnlyGoUp) {
    const std::vector<File> other = {{"AppLaunch.exe", "launcher 1"}, {"Pelmora.exe", "product 1"}};
    struct Case {
        const std::vector<File>& files;
        std::uint32_t number;
        std::string refusal; // empty: installed
    } cases[] = {
        {other, 3,
         "release 3, older than release 5 already in place, so the server may be out of date or "
         "the connection tampered with"},
        {other, 5,
         "release 5 with a list other than the one of release 5 already in place, so the "
         "connection may have been tampered with"},
        {kRelease, 5, ""},
        {other, 6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        TearDown();
        SetUp();
        NormalMode();
        Serve(kRelease, 5);
        RunUpdate();
        M().process.boxes.clear();
        M().world.requests.clear();
        const auto before = Disk();
        Serve(c.files, c.number);
        RunAgain();
        if (!c.refusal.empty()) {
            EXPECT_EQ(Boxes(), std::vector<Box>{Offered(c.refusal)});
            EXPECT_EQ(Asked(), std::vector<std::string>{"filelist.txt.sig"});
            EXPECT_TRUE(Disk() == before) << "the disk changed";
        } else {
            EXPECT_EQ(M().FileContent(kInstall + "Pelmora.exe"), c.files[1].body);
            EXPECT_EQ(M().FileContent(kInstall + "PelmoraUpdaterRelease.sig"),
                      M().world.http[kBase + "filelist.txt.sig"].body);
        }
    }
}

// The key statements: each hand-over the maker makes is followed, and everything else is
// refused before anything listed is fetched. The rows are the README's recovery stories
// (routine, lost key, stolen key, stolen build-time key) and hostile chains.
TEST_F(SignedUpdate, KeyStatementsAreWalkedOneNumberAtATime) {
    const auto backup = LoadKey(QUORVEL_BACKUP_KEY_FILE);
    const auto b = *platform::GenerateP256(), c = *platform::GenerateP256(),
               thief = *platform::GenerateP256(), x = *platform::GenerateP256();
    auto id = [](const platform::P256KeyPair& k) { return release::KeyId(k.publicKey); };
    auto signedWith = [&](const platform::P256KeyPair& k, const platform::P256KeyPair& named) {
        return "it is signed with key " + id(k) +
               ", and this updater takes releases signed with key " + id(named) + " only";
    };
    auto before = [this](const std::function<void()>& serve) { // a run that went before
        serve();
        RunAgain();
        EXPECT_TRUE(Boxes().empty());
        M().process.boxes.clear();
        M().world.requests.clear();
    };
    auto toB = [&] { Hand(1, key_, b), ServeBy(b, 1, kRelease, 5); };
    auto toC = [&] { before(toB), Hand(2, b, c), before([&] { ServeBy(c, 2, kRelease, 6); }); };
    auto keys = [](int n) { return kBase + release::StatementPath(n); };
    const std::string untrusted = " is not signed by a key this updater trusts for key statements",
                      other = " carries another number", unfetched = " could not be fetched";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string refusal; // after "key statement N" when N is given; empty: installed
        int from, to;        // the statements asked, to being N; 0: none
    } cases[] = {
        {"routine: A hands signing to B", toB, "", 0, 0},
        {"lost: the backup hands signing to B",
         [&] { Hand(1, backup, b), ServeBy(b, 1, kRelease); }, "", 0, 0},
        {"a backup key signs no release itself", [&] { ServeBy(backup, 0, kRelease); },
         signedWith(backup, key_), 0, 0},
        {"stolen: B signs a higher release, its statement beside it",
         [&] { toC(), ServeBy(b, 1, kRelease, 7); }, signedWith(b, c), 0, 0},
        {"stolen: B's statement served as the next",
         [&] {
             toC(), ServeBy(b, 3, kRelease, 7), M().world.http[keys(3)] = M().world.http[keys(1)];
         },
         other, 3, 3},
        {"stolen: the thief's window, before the updater took statement 2",
         [&] { before(toB), ServeBy(b, 1, kRelease, 6); }, "", 0, 0},
        {"stolen build-time key: before the maker moved it out, it hands signing on",
         [&] { Hand(1, backup, thief), ServeBy(thief, 1, kRelease); }, "", 0, 0},
        {"stolen build-time key: after the maker moved it out",
         [&] {
             before([&] { Hand(1, key_, key_, {key_.publicKey}), ServeBy(key_, 1, kRelease, 5); });
             Hand(2, backup, thief), ServeBy(thief, 2, kRelease, 6);
         },
         untrusted, 2, 2},
        {"someone else's chain", [&] { Hand(1, x, thief), ServeBy(thief, 1, kRelease); }, untrusted,
         1, 1},
        {"a statement that vouches for itself",
         [&] { Hand(1, thief, thief), ServeBy(thief, 1, kRelease); }, untrusted, 1, 1},
        {"signed only by its own new key",
         [&] {
             std::string text = Hand(1, key_, b);
             M().Serve(keys(1), text.substr(0, text.rfind("signature "))), ServeBy(b, 1, kRelease);
         },
         " is damaged or too long", 1, 1},
        {"a statement of megabytes",
         [&] {
             M().Serve(keys(1), Hand(1, key_, b) + std::string(3 << 20, ' ')),
                 ServeBy(b, 1, kRelease);
         },
         unfetched, 1, 1},
        {"a gap in the numbers", [&] { Hand(2, key_, b), ServeBy(b, 2, kRelease); }, unfetched, 1,
         1},
        {"the same statement twice",
         [&] { M().Serve(keys(2), Hand(1, key_, b)), ServeBy(c, 2, kRelease); }, other, 1, 2},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        row.arrange();
        const auto launches = M().process.launches.size();
        RunAgain();
        if (row.refusal.empty()) {
            EXPECT_TRUE(Boxes().empty() && M().FileContent(kTarget + "bin\\core.dll") == "core 2");
            continue;
        }
        std::vector<std::string> asked = {"filelist.txt.sig"};
        for (int n = row.from; n <= row.to && n > 0; ++n) {
            asked.push_back(release::StatementPath(n));
        }
        const std::string which = row.to == 0 ? "" : "key statement " + std::to_string(row.to);
        EXPECT_EQ(Boxes(), std::vector<Box>{NotTrusted(which + row.refusal)});
        EXPECT_EQ(Asked(), asked) << "nothing listed is fetched";
        EXPECT_EQ(M().process.launches.size(), launches);
    }
    TearDown();
    SetUp();
    M().WriteFile(kTarget + "PelmoraUpdaterKeys.txt", "damaged"), toB();
    RunUpdate();
    const Box unreadable{"The signing key in place could not be read from PelmoraUpdaterKeys.txt, "
                         "so no release can be checked against it.\nNothing was installed. "
                         "Please try again later or contact Tarnell.",
                         "Update Error", 0};
    EXPECT_EQ(Boxes(), std::vector<Box>{unreadable});
    EXPECT_TRUE(M().world.requests.empty());
}

// A chain longer than one run takes is walked a fixed stretch per run, from the statement
// the run before kept.
TEST_F(SignedUpdate, LongChainsAreWalkedAFixedStretchPerRun) {
    std::vector<platform::P256KeyPair> keys = {key_};
    for (std::uint32_t n = 1; n <= 40; ++n) {
        keys.push_back(*platform::GenerateP256());
        Hand(n, keys[n - 1], keys[n]);
    }
    ServeBy(keys.back(), 40, kRelease);
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{NotTrusted("it rests on key statement 40, beyond the 32 "
                                                   "one run takes; the next run goes on from "
                                                   "statement 33")});
    EXPECT_EQ(Asked().size(), 33u);
    EXPECT_EQ(M().FileContent(kTarget + "PelmoraUpdaterKeys.txt"),
              M().world.http[kBase + release::StatementPath(32)].body);
    M().world.requests.clear();
    RunAgain();
    EXPECT_EQ(Asked()[8], "filelist.keys/40.txt");
    EXPECT_EQ(M().FileContent(kTarget + "bin\\core.dll"), "core 2");
}

// The number in place survives a failure, and a kill, at every call of an update from release
// 5 to 6: afterwards release 4 is still refused, and the next run brings release 6 in whole.
// Handed: releases 4 and 6 are signed by key B, which key statement 1 names; the kept
// statement is then none or that statement, whole.
class SignedUpdateMatrix : public SignedUpdate, public ::testing::WithParamInterface<bool> {
public:
    const platform::P256KeyPair b_ = *platform::GenerateP256();
};
INSTANTIATE_TEST_SUITE_P(Handed, SignedUpdateMatrix, ::testing::Bool());

TEST_P(SignedUpdateMatrix, NoFaultOrKillLosesTheNumberInPlace) {
    const std::vector<File> six = {{"AppLaunch.exe", "launcher 6"}, {"Pelmora.exe", "product 6"}};
    auto restart = [this](const std::vector<File>& files, std::uint32_t number) {
        form_.reset();
        M().Restart();
        ServeBy(GetParam() ? b_ : key_, GetParam() ? 1 : 0, files, number);
        Form();
        M().process.calls.clear();
    };
    std::string statement;
    auto update = [&](long fault, long kill) { // from release 5 to 6; gives its calls
        TearDown();
        SetUp();
        Serve(kRelease, 5);
        RunUpdate();
        statement = GetParam() ? Hand(1, key_, b_) : std::string();
        restart(six, 6);
        M().process.failCallIndex = fault;
        M().process.killAtCall = kill;
        RunUpdate();
        return static_cast<long>(M().process.calls.size());
    };
    const long calls = update(-1, -1);
    ASSERT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 6");
    for (long k = 0; k < 2 * calls && !HasFailure(); ++k) {
        SCOPED_TRACE((k < calls ? "fault at call " : "killed at call ") +
                     std::to_string(k % calls));
        update(k < calls ? k : -1, k < calls ? -1 : k - calls);
        auto kept = M().FileContent(kTarget + "PelmoraUpdaterKeys.txt");
        EXPECT_TRUE(!kept || *kept == statement);
        restart({{"AppLaunch.exe", "launcher 4"}}, 4);
        RunUpdate();
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text.find("The update server offered release 4, older"), 0u);
        restart(six, 6);
        RunUpdate();
        EXPECT_EQ(M().FileContent(kTarget + "Pelmora.exe"), "product 6");
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
    EXPECT_TRUE(M().process.launches.empty());
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
    EXPECT_TRUE(M().process.launches.empty());
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
    EXPECT_TRUE(M().process.launches.empty());
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
    EXPECT_EQ(M().process.launches.size(), 1u);
}

// A launcher the list does not name, or one changed after its check, is not started.
TEST_F(SignedUpdate, PlantedLauncherIsNotStarted) {
    const std::vector<File> noLauncher = {{"Pelmora.exe", "product 2"}};
    M().WriteFile(kTarget + "AppLaunch.exe", "planted");
    Serve(noLauncher);
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kLauncherRefused});
    EXPECT_TRUE(M().process.launches.empty());
    EXPECT_FALSE(M().process.terminated);
}

// Changed in place while the run fetched the other files: checked right before the start.
TEST_F(SignedUpdate, LauncherIsCheckedRightBeforeTheStart) {
    Serve(kRelease);
    M().AtPump(5, [this] { M().WriteFile(kTarget + "AppLaunch.exe", "swapped"); });
    RunUpdate();
    EXPECT_TRUE(M().process.launches.empty());
    EXPECT_EQ(Boxes(), std::vector<Box>{kLauncherRefused});
    EXPECT_EQ(M().FileContent(kTarget + "AppLaunch.exe"), "swapped");
}

} // namespace
