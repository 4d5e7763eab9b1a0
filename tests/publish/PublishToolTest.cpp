// quorvel-publish, run in-process on real folders.
#include "Commit.h"
#include "Tool.h"
#include "release/KeyId.h"
#include "release/ReleaseFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Overwrites the first bytes of a file once its hashing is under way, as a build that
// writes into the release while it is published does.
class Overwriter : public publish::HashProgress {
public:
    explicit Overwriter(fs::path file) : file_(std::move(file)) {}
    void Begin(std::size_t, std::uint64_t) override {}
    void Hashed(const std::string& path, std::uint64_t) override {
        if (path != file_.filename().string() || done_) {
            return;
        }
        done_ = true;
        std::fstream(file_, std::ios::in | std::ios::out | std::ios::binary) << "overwritten";
        fs::last_write_time(file_, fs::last_write_time(file_) + std::chrono::seconds(2));
    }
    void End() override {}
    bool Done() const { return done_; }

private:
    fs::path file_;
    bool done_ = false;
};

class PublishTool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                ("quorvel-publish-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "release");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Release() const { return (root_ / "release").string(); }
    std::string At(const std::string& name) const { return (root_ / name).string(); }
    std::string List() const { return Read(root_ / "release" / "filelist.txt"); }
    release::SignatureFile Sig(const std::string& folder = "release") {
        auto file = release::ParseSignatureFile(Read(root_ / folder / "filelist.txt.sig"));
        EXPECT_TRUE(file.has_value());
        return file.value_or(release::SignatureFile{});
    }
    void Put(const std::string& path, const std::string& body) {
        fs::path file = root_ / "release" / path;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << body;
    }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // "@name" in an argument stands for the file or folder name below the test's root.
    int Run(std::vector<std::string> args, const std::string& input = std::string(),
            publish::HashProgress* progress = nullptr) {
        for (auto& a : args) {
            if (a.size() > 1 && a[0] == '@') {
                a = At(a.substr(1));
            }
        }
        out_.str("");
        err_.str("");
        std::istringstream in(input);
        return publish::RunTool(args, in, out_, err_, progress);
    }
    std::vector<std::string> Paths() {
        std::vector<std::string> paths;
        for (const auto& e : release::ParseList(List())) {
            paths.push_back(e.path);
        }
        return paths;
    }
    std::string StampOf(const std::string& path) {
        for (const auto& e : release::ParseList(List())) {
            if (e.path == path) {
                return e.stamp;
            }
        }
        return "(not listed)";
    }
    // Every file and link below the root, with its content or target.
    std::map<std::string, std::string> Snapshot() {
        std::map<std::string, std::string> all;
        for (auto it = fs::recursive_directory_iterator(root_); it != fs::end(it); ++it) {
            const std::string name = it->path().lexically_relative(root_).generic_string();
            all[name] = it->is_symlink()     ? "-> " + fs::read_symlink(it->path()).string()
                        : it->is_directory() ? "/"
                                             : Read(it->path());
            if (it->is_symlink()) {
                it.disable_recursion_pending();
            }
        }
        return all;
    }
    void MakeKey() {
        ASSERT_EQ(Run({"keygen", "@maker.key"}), 0) << err_.str();
        std::string text = out_.str();
        text.pop_back();
        pub_ = text.substr(text.rfind('\n') + 1);
    }

    fs::path root_;
    std::ostringstream out_;
    std::ostringstream err_;
    std::string pub_;
};

TEST_F(PublishTool, WritesEveryFileWithDateHashAndSizeInCrLfLines) {
    Put("b.dll", "bee");
    Put("a/deep/x.dat", "");
    Put("Pelmora.exe", "product");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"Pelmora.exe", "a/deep/x.dat", "b.dll"}));
    const std::string list = List();
    EXPECT_EQ(list.back(), '\n');
    std::size_t lines = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == '\n') {
            EXPECT_EQ(list[i - 1], '\r');
            ++lines;
        }
    }
    EXPECT_EQ(lines, 3u);
    const std::string stamp = StampOf("b.dll");
    EXPECT_EQ(stamp.size(), 10 + 1 + 7 + 64 + 1 + 5 + 1);
    EXPECT_EQ(release::StampDigest(stamp), platform::Sha256Of("bee"));
    EXPECT_EQ(release::StampSize(stamp), 3u);
    EXPECT_EQ(release::StampSize(StampOf("a/deep/x.dat")), 0u);
    EXPECT_EQ(stamp[4], '-');
    EXPECT_EQ(stamp[7], '-');
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt.sig")) << "no key, no signature";
    EXPECT_NE(out_.str().find("3 entries (3 new, 0 changed, 0 removed, 0 shifted): operators "
                              "fetch 3 files"),
              std::string::npos)
        << out_.str();
}

// Entries keep their places across publishes; new files come last, in byte order.
TEST_F(PublishTool, OrderIsKeptAndNewFilesAreAppended) {
    Put("zeta.dll", "z");
    Put("alpha.dll", "a");
    Put("mid/m.dat", "m");
    Put("filelist.txt", "zeta.dll\t1\r\nmid/m.dat\t1\r\nalpha.dll\t1\r\n");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"zeta.dll", "mid/m.dat", "alpha.dll"}));
    Put("new/b.dll", "b");
    Put("new/a.dll", "a");
    Put("Aa.txt", "A");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"zeta.dll", "mid/m.dat", "alpha.dll", "Aa.txt",
                                                 "new/a.dll", "new/b.dll"}));
    // Publishing again changes nothing at all.
    const std::string before = List();
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(List(), before);
    EXPECT_NE(out_.str().find("operators fetch 0 files"), std::string::npos) << out_.str();
}

TEST_F(PublishTool, PreviousListElsewhereGivesTheOrder) {
    Put("a", "1");
    Put("b", "2");
    std::ofstream(root_ / "old.txt", std::ios::binary) << "b\tx\r\na\ty\r\n";
    ASSERT_EQ(Run({"publish", Release(), "--previous", "@old.txt"}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"b", "a"}));
    std::ofstream(root_ / "lf.txt", std::ios::binary) << "b\tx\na\ty\n";
    EXPECT_EQ(Run({"publish", Release(), "--previous", "@lf.txt"}), 1);
    EXPECT_NE(err_.str().find("without CR LF"), std::string::npos) << err_.str();
}

// A stamp that states hash and size stays byte for byte while the content does; the date
// alone changes nothing. An older stamp without a size is written anew.
TEST_F(PublishTool, UnchangedFilesKeepTheirStampByteForByte) {
    Put("same.dll", "same");
    Put("old.dll", "old");
    Put("changed.dll", "v1");
    const std::string sized = release::MakeStamp("2011-05-02", *platform::Sha256Of("same"), 4);
    const std::string unsized = release::MakeStamp("2011-05-02", *platform::Sha256Of("old"));
    Put("filelist.txt",
        "same.dll\t" + sized + "\r\nold.dll\t" + unsized + "\r\nchanged.dll\t2011-05-02\r\n");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(StampOf("same.dll"), sized);
    EXPECT_EQ(release::StampSize(StampOf("old.dll")), 3u) << "re-stamped with its size";
    const std::string first = StampOf("changed.dll");
    fs::last_write_time(root_ / "release" / "same.dll",
                        fs::last_write_time(root_ / "release" / "same.dll") -
                            std::chrono::hours(24 * 400));
    Put("changed.dll", "v2");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(StampOf("same.dll"), sized);
    EXPECT_NE(StampOf("changed.dll"), first);
    EXPECT_EQ(release::StampDigest(StampOf("changed.dll")), platform::Sha256Of("v2"));
}

TEST_F(PublishTool, RemovalAtTheEndShiftsNothingAndShiftsAreAllowedOnRequest) {
    for (const char* f : {"a", "b", "c", "d"}) {
        Put(f, f);
    }
    ASSERT_EQ(Run({"publish", Release()}), 0);
    fs::remove(root_ / "release" / "b");
    ASSERT_EQ(Run({"publish", Release(), "--allow-shift"}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_NE(out_.str().find("removed: b"), std::string::npos);
    fs::remove(root_ / "release" / "d");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "c"}));
}

struct BadRelease {
    const char* name;
    std::vector<std::string> files;
    std::string named;                   // what the message must name
    std::vector<std::string> extra = {}; // options of the publish
};

// Each refusal names the file and writes nothing.
TEST_F(PublishTool, ReleasesTheUpdaterCannotInstallAreRefused) {
    const std::string deep = std::string(120, 'd') + "/" + std::string(90, 'f');
    const BadRelease cases[] = {
        {"colon", {"ok.dll", "c:x.dll"}, "c:x.dll"},
        {"backslash", {"ok.dll", "bin\\x.dll"}, "bin\\x.dll"},
        {"tab", {"ok.dll", "a\tb.dll"}, "a\tb.dll"},
        {"control character", {"ok.dll", "a\x01"}, "a\x01"},
        {"line feed", {"ok.dll", "a\nb"}, "a\nb"},
        {"reserved device", {"ok.dll", "bin/NUL.txt"}, "bin/NUL.txt"},
        {"reserved device CON", {"CON", "ok.dll"}, "CON"},
        {"COM0", {"ok.dll", "com0.log"}, "com0.log"},
        {"trailing dot", {"ok.dll", "x."}, "x."},
        {"letter case", {"Data/x.bin", "data/x.bin"}, "data/x.bin"},
        {"too long", {"ok.dll", deep}, deep},
        {"percent", {"ok.dll", "data/100%.txt"}, "data/100%.txt"},
        {"hash sign", {"a#1.txt", "ok.dll"}, "a#1.txt"},
        {"byte above 127", {"ok.dll", "caf\xc3\xa9.txt"}, "--8bit-names"},
        // Shift-JIS "\x83\x7c" and "\x83\x5c" read in the default code page: '|' and '\'.
        {"double-byte '|'", {"ok.dll", "\x83\x7c.txt"}, "'|'", {"--8bit-names"}},
        {"double-byte '\\'", {"ok.dll", "\x83\x5c.txt"}, "1252, the default; --code-page N"},
        {"lone lead byte", {"ok.dll", "a\x83"}, "0x83, which begins", {"--code-page", "932"}},
        {"lead byte before '/'", {"a\x83/b.dll"}, "without its second", {"--code-page", "932"}},
        {"'|' after one", {"ok.dll", "\x83\x7c|.txt"}, "'|'", {"--code-page", "932"}},
        {"run record", {"ok.dll", "PelmoraUpdaterRun.txt"}, "PelmoraUpdaterRun.txt"},
        {"temporary file, deep", {"ok.dll", "bin/TEMP1234.$$$"}, "bin/TEMP1234.$$$"},
        {"backup folder", {"ok.dll", "UpdateBackup/old.dll"}, "UpdateBackup/old.dll"},
        {"empty release", {}, "empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_ / "release");
        fs::create_directories(root_ / "release");
        for (const auto& f : c.files) {
            Put(f, "x");
        }
        std::vector<std::string> args = {"publish", Release(), "--key", "unused"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(Run(args), 1);
        EXPECT_NE(err_.str().find(c.named), std::string::npos) << err_.str();
        EXPECT_NE(err_.str().find("nothing written"), std::string::npos) << err_.str();
        EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt"));
        EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt.sig"));
    }
}

// A maker whose server names its files in the Windows code page may list such names as
// they are.
TEST_F(PublishTool, EightBitNamesPassWhenTheMakerSaysSo) {
    Put("caf\xe9.txt", "x");
    Put("ok.dll", "y");
    ASSERT_EQ(Run({"publish", Release(), "--8bit-names"}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"caf\xe9.txt", "ok.dll"}));
    fs::remove(root_ / "release" / "filelist.txt");
    Put("100%.txt", "z");
    EXPECT_EQ(Run({"publish", Release(), "--8bit-names"}), 1)
        << "the option allows 8-bit names only";
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt"));
    fs::remove(root_ / "release" / "100%.txt");
    Put("CAF\xc9.txt", "z"); // one file with caf\xe9.txt on Windows, as the updater sees it
    EXPECT_EQ(Run({"publish", Release(), "--8bit-names"}), 1);
    EXPECT_NE(err_.str().find("one file"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt"));
    // In code page 932 '|' and '\' second bytes are no characters of their own; excludes
    // step by character and fold no second byte ("\x83\x61" is not "\x83\x41").
    fs::remove_all(root_ / "release");
    for (const char* f : {"\x83\x7c/\x83\x5c.dll", "\x83\x5c.pdb", "\x83\x61.dat"}) {
        Put(f, f);
    }
    MakeKey();
    ASSERT_EQ(Run({"publish", Release(), "--key", "@maker.key", "--code-page", "932", "--exclude",
                   "\x83\x5c.pdb", "--exclude", "\x83\x41.dat"}),
              0)
        << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"\x83\x61.dat", "\x83\x7c/\x83\x5c.dll"}));
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_, "--code-page", "932"}), 0) << err_.str();
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 1);
    EXPECT_NE(err_.str().find("\"\x83\x7c/\x83\x5c.dll\": the character '|'"), std::string::npos)
        << err_.str();
}

// Names beginning with ".", what --exclude names and private keys stay out; a link inside
// the release stands for its target under its own name.
TEST_F(PublishTool, SecretsAndStrayFilesAreLeftOut) {
    for (const char* f : {".git/HEAD", ".DS_Store", "sub/.hidden", "sub/x.pdb", "build/tmp/o",
                          "sub/s.dat", "ok.dll", "bin/core.dll", "Big Data/Sparse Textures.PAK",
                          "Big Data/keep.txt", "bin/Y.PDB"}) {
        Put(f, f);
    }
    ASSERT_EQ(Run({"keygen", Release() + "/maker.key"}), 0);
    fs::create_directories(root_ / "release" / "sub" / "deep");
    fs::copy_file(root_ / "release" / "maker.key", root_ / "release" / "sub" / "deep" / "k.txt");
    fs::create_symlink("../ok.dll", root_ / "release" / "bin" / "alias.dll");
    fs::create_directory_symlink("sub", root_ / "release" / "linked");
    ASSERT_EQ(Run({"publish", Release(), "--key", Release() + "/maker.key", "--exclude", "*.pdb",
                   "--exclude", "build/**", "--exclude", "Big Data\\*.pak"}),
              0)
        << err_.str();
    EXPECT_EQ(Paths(),
              (std::vector<std::string>{"Big Data/keep.txt", "bin/alias.dll", "bin/core.dll",
                                        "linked/s.dat", "ok.dll", "sub/s.dat"}));
    EXPECT_EQ(release::StampDigest(StampOf("bin/alias.dll")), platform::Sha256Of("ok.dll"));
    for (const char* said :
         {"skipped: .git/ (its name begins", "skipped: .DS_Store",
          "skipped: sub/x.pdb (--exclude *.pdb)", "skipped: build/tmp/ (--exclude build/**)",
          "skipped: bin/Y.PDB (--exclude *.pdb)",
          "skipped: Big Data/Sparse Textures.PAK (--exclude Big Data\\*.pak)"}) {
        EXPECT_NE(out_.str().find(said), std::string::npos) << said << "\n" << out_.str();
    }
    EXPECT_NE(err_.str().find("skipped: maker.key (a private key"), std::string::npos);
    EXPECT_NE(err_.str().find("skipped: sub/deep/k.txt (a private key"), std::string::npos);
    EXPECT_EQ(err_.str().find("only its owner may read"), std::string::npos) << err_.str();
    // Its history, written beside it by this very publish, is left out the next time.
    fs::permissions(root_ / "release" / "ok.dll", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(Run({"publish", Release(), "--key", Release() + "/maker.key", "--exclude", "*.pdb",
                   "--exclude", "build/**", "--exclude", "Big Data\\*.pak"}),
              0)
        << err_.str();
    EXPECT_NE(err_.str().find("skipped: maker.key.history (a release history"), std::string::npos)
        << err_.str();
    // A file that nginx, running as another user, would answer 403 for.
    EXPECT_NE(err_.str().find("warning: only its owner may read ok.dll: a web server"),
              std::string::npos)
        << err_.str();
    EXPECT_EQ(StampOf("maker.key.history"), "(not listed)");
    EXPECT_EQ(err_.str().find("only its owner may read bin/core.dll"), std::string::npos);
}

// Each mistake is refused with its reason; nothing is written, nothing said removed.
struct Mistake {
    const char* name;
    std::function<void(const fs::path& release)> setup;
    std::vector<std::string> args;
    int exit;
    std::string says;
};

TEST_F(PublishTool, MistakesAreRefusedAndLeaveEverythingAsItWas) {
    const Mistake mistakes[] = {
        {"key is a folder",
         nullptr,
         {"publish", "@release", "--key", "@release/bin"},
         1,
         "\"" + At("release/bin") + "\": it is a folder (the key file)"},
        {"previous list is a folder",
         nullptr,
         {"publish", "@release", "--previous", "@release"},
         1,
         "it is a folder (the previous list)"},
        {"folder named filelist.txt",
         [](const fs::path& r) {
             fs::remove(r / "filelist.txt");
             fs::create_directories(r / "filelist.txt" / "x");
         },
         {"publish", "@release"},
         1,
         "filelist.txt\": it is a folder (the previous list)"},
        {"previous list is binary",
         [](const fs::path& r) { std::ofstream(r / "bin.dat") << std::string("a\0\x80\n", 4); },
         {"publish", "@release", "--previous", "@release/bin.dat"},
         1,
         "is not an update list"},
        {"folder named filelist.txt.sig",
         [](const fs::path& r) {
             fs::remove(r / "filelist.txt.sig");
             fs::create_directories(r / "filelist.txt.sig" / "x");
         },
         {"publish", "@release", "--key", "@maker.key", "--release", "9"},
         1,
         "a folder is in the way"},
        {"signature links to a folder",
         [](const fs::path& r) {
             fs::remove(r / "filelist.txt.sig");
             fs::create_directory_symlink("bin", r / "filelist.txt.sig");
         },
         {"publish", "@release", "--key", "@maker.key"},
         1,
         "a folder is in the way"},
        {"number below",
         nullptr,
         {"publish", "@release", "--key", "@maker.key", "--release", "3"},
         1,
         "--release 3 is not above release 5 of"},
        {"number equal",
         nullptr,
         {"publish", "@release", "--key", "@maker.key", "--release", "5"},
         1,
         "--release 5 is not above release 5"},
        {"previous number unknown",
         [](const fs::path& r) { fs::copy_file(r / "filelist.txt", r / ".." / "plain.txt"); },
         {"publish", "@release", "--key", "@maker.key", "--previous", "@plain.txt", "--out",
          "@fresh", "--history", "@new.history"},
         1,
         "is known but its release number is not"},
        {"number of another list, in a fresh folder",
         [](const fs::path& r) {
             fs::remove(r / "filelist.txt");
             fs::remove(r / "filelist.txt.sig");
             std::ofstream(r / "a") << "hotfix";
         },
         {"publish", "@release", "--key", "@maker.key", "--release", "5"},
         1,
         "--release 5 is not above release 5 of the release history"},
        {"file written while it is hashed",
         [](const fs::path& r) { std::ofstream(r / "big.dat") << std::string((1 << 20) + 1, 'x'); },
         {"publish", "@release", "--key", "@maker.key"},
         1,
         "\"big.dat\": changed while it was read"},
        {"previous list cut short",
         [](const fs::path& r) { fs::resize_file(r / "filelist.txt", 100); },
         {"publish", "@release", "--key", "@maker.key"},
         3,
         "is 100 bytes, but its signature"},
        {"previous list with lines swapped",
         [](const fs::path& r) {
             auto lines = release::ParseList(Read(r / "filelist.txt"));
             std::swap(lines[0], lines[1]);
             std::ofstream(r / "filelist.txt", std::ios::binary) << release::WriteList(lines);
         },
         {"publish", "@release"},
         3,
         "is not the one its signature"},
        {"previous signature damaged",
         [](const fs::path& r) { std::ofstream(r / "filelist.txt.sig") << "release 9\r\n"; },
         {"publish", "@release", "--key", "@maker.key", "--release", "9"},
         3,
         "the signature of the previous list, is damaged"},
        {"previous signature edited to another number",
         [](const fs::path& r) {
             std::string sig = Read(r / "filelist.txt.sig");
             sig.replace(sig.find("release 5"), 9, "release 2");
             std::ofstream(r / "filelist.txt.sig", std::ios::binary) << sig;
         },
         {"publish", "@release", "--key", "@maker.key"},
         1,
         "was not signed by the key in use"},
        {"another key",
         [](const fs::path& r) {
             auto key = platform::GenerateP256();
             std::ofstream(r / ".." / "other.key") << release::WriteKeyFile(*key);
             fs::permissions(r / ".." / "other.key", fs::perms::owner_read);
         },
         {"publish", "@release", "--key", "@other.key"},
         1,
         "(release 5, \"" + At("release/filelist.txt.sig") +
             "\") was not signed by the key in use, \"" + At("other.key") + "\" (key ID "},
        {"another key, named by the signature",
         [](const fs::path& r) {
             auto key = platform::GenerateP256();
             std::ofstream(r / ".." / "other.key") << release::WriteKeyFile(*key);
             fs::permissions(r / ".." / "other.key", fs::perms::owner_read);
         },
         {"publish", "@release", "--key", "@other.key"},
         1,
         "): it was signed with key ID "},
        {"key others may read",
         [](const fs::path& r) {
             fs::permissions(r / ".." / "maker.key", fs::perms::others_read, fs::perm_options::add);
         },
         {"publish", "@release", "--key", "@maker.key"},
         1,
         "may be read by others than its owner (mode 0604: every user)"},
        {"history damaged",
         [](const fs::path& r) {
             fs::resize_file(r / ".." / "maker.key.history",
                             fs::file_size(r / ".." / "maker.key.history") - 1);
         },
         {"publish", "@release", "--key", "@maker.key"},
         3,
         "maker.key.history\" is damaged: line 2 is cut short"},
        {"history emptied",
         [](const fs::path& r) { std::ofstream(r / ".." / "maker.key.history").flush(); },
         {"publish", "@release", "--key", "@maker.key"},
         3,
         "it does not begin with \"quorvel-release-history 1\""},
        {"unsigned over a signature",
         [](const fs::path& r) { std::ofstream(r / "a") << "new"; },
         {"publish", "@release"},
         1,
         "would no longer sign the list"},
        {"shift",
         [](const fs::path& r) { fs::remove(r / "b"); },
         {"publish", "@release", "--key", "@maker.key"},
         1,
         "\"c\" (entry 4, now 3). Keep the removed files in the release"},
        {"link outside",
         [](const fs::path& r) { fs::create_symlink("/etc/hostname", r / "out.dll"); },
         {"publish", "@release"},
         1,
         "\"out.dll\": a symbolic link that leads outside"},
        {"dangling link",
         [](const fs::path& r) { fs::create_symlink("gone", r / "gone.dll"); },
         {"publish", "@release"},
         1,
         "\"gone.dll\": a symbolic link that leads nowhere"},
        {"link loop",
         [](const fs::path& r) { fs::create_directory_symlink(".", r / "bin/up"); },
         {"publish", "@release"},
         1,
         "\"bin/up\": a symbolic link to a folder that holds it"},
        {"expiry in the past",
         nullptr,
         {"publish", "@release", "--key", "@maker.key", "--expires", "2020-01-01"},
         2,
         "lies in the past"},
        {"expiry of no days",
         nullptr,
         {"publish", "@release", "--key", "@maker.key", "--expires", "0"},
         2,
         "--expires takes a number of days"},
    };
    MakeKey();
    for (const auto& m : mistakes) {
        SCOPED_TRACE(m.name);
        fs::remove_all(root_ / "release");
        fs::remove(root_ / "plain.txt");
        fs::remove(root_ / "maker.key.history");
        fs::remove(root_ / "other.key");
        fs::permissions(root_ / "maker.key", fs::perms::owner_read | fs::perms::owner_write);
        for (const char* f : {"a", "b", "c", "bin/x.dll"}) {
            Put(f, f);
        }
        ASSERT_EQ(Run({"publish", "@release", "--key", "@maker.key", "--release", "5"}), 0);
        if (m.setup) {
            m.setup(root_ / "release");
        }
        auto before = Snapshot();
        // A file written to while it is hashed: its first bytes change, and its time.
        Overwriter overwriter(root_ / "release" / "big.dat");
        EXPECT_EQ(Run(m.args, std::string(), &overwriter), m.exit);
        if (overwriter.Done()) {
            before["release/big.dat"] = Read(root_ / "release" / "big.dat");
        }
        EXPECT_NE(err_.str().find(m.says), std::string::npos) << err_.str();
        EXPECT_NE(err_.str().find("nothing written"), std::string::npos) << err_.str();
        EXPECT_EQ(out_.str().find("removed:"), std::string::npos) << out_.str();
        EXPECT_EQ(Snapshot(), before);
    }
}

// Numbers continue from the signature beside the previous list, in whatever folder the
// new release is published; --out leaves the release folder untouched.
TEST_F(PublishTool, ReleaseNumbersOnlyGoUpAcrossFolders) {
    MakeKey();
    Put("a", "1");
    ASSERT_EQ(Run({"publish", "@release", "--key", "@maker.key", "--release", "50"}), 0);
    fs::copy(root_ / "release", root_ / "next", fs::copy_options::recursive);
    fs::remove(root_ / "next" / "filelist.txt");
    fs::remove(root_ / "next" / "filelist.txt.sig");
    ASSERT_EQ(
        Run({"publish", "@next", "--previous", "@release/filelist.txt", "--key", "@maker.key"}), 0)
        << err_.str();
    EXPECT_EQ(Sig("next").release, 51u);
    const auto before = Snapshot();
    ASSERT_EQ(Run({"publish", "@release", "--out", "@staging", "--key", "-", "--history", "@h"},
                  Read(root_ / "maker.key")),
              0)
        << err_.str();
    EXPECT_EQ(Sig("staging").release, 51u) << "continues from the release folder's own list";
    EXPECT_EQ(Read(root_ / "staging" / "filelist.txt"), List())
        << "the release's own list unlisted";
    fs::remove_all(root_ / "staging");
    fs::remove(root_ / "h");
    EXPECT_EQ(Snapshot(), before);
    ASSERT_EQ(Run({"publish", "@release", "--out", "@next", "--key", "@maker.key"}), 0);
    EXPECT_EQ(Sig("next").release, 52u) << "above the signature it replaces";
    EXPECT_EQ(Run({"verify", "@release", "--out", "@next", "--public", pub_}), 0) << err_.str();
}

// Permissions do not bind root, so under root the tool runs as nobody for this case.
TEST_F(PublishTool, UnreadableFolderIsNamedWithItsReason) {
    const uid_t user = ::geteuid();
    const uid_t nobody = 65534;
    Put("ok.dll", "x");
    Put("locked/in.dll", "y");
    fs::permissions(root_ / "release" / "locked", fs::perms::none);
    if (user == 0 && ::seteuid(nobody) != 0) {
        GTEST_SKIP() << "root may not act as another user here, and reads every folder";
    }
    const int status = Run({"publish", "@release"});
    ASSERT_EQ(::seteuid(user), 0);
    EXPECT_EQ(status, 1);
    fs::permissions(root_ / "release" / "locked", fs::perms::owner_all);
    EXPECT_NE(err_.str().find("\"locked/\": cannot be listed: Permission denied"),
              std::string::npos)
        << err_.str();
}

// A publish of an unchanged folder renews the signature only: a new number, the same list.
TEST_F(PublishTool, RenewalKeepsTheListAndExpiryIsSigned) {
    MakeKey();
    Put("a", "1");
    ASSERT_EQ(Run({"publish", "@release", "--key", "@maker.key"}), 0);
    const std::string list = List();
    ASSERT_EQ(Run({"publish", "@release", "--key", "@maker.key", "--expires", "30"}), 0);
    EXPECT_EQ(List(), list);
    EXPECT_NE(out_.str().find("1 entry (0 new, 0 changed, 0 removed, 0 shifted): operators fetch "
                              "0 files"),
              std::string::npos)
        << out_.str();
    std::time_t in30 = std::time(nullptr) + 30 * 86400;
    char date[11];
    std::strftime(date, sizeof(date), "%Y-%m-%d", std::gmtime(&in30));
    EXPECT_EQ(Sig().release, 2u);
    EXPECT_EQ(Sig().expires, std::string(date));
    EXPECT_EQ(Run({"verify", "@release", "--public", pub_}), 0) << err_.str();
    EXPECT_NE(out_.str().find(std::string("expires ") + date), std::string::npos);
    // Past its date, verify says what the updater will.
    auto key = release::ParseKeyFile(Read(root_ / "maker.key"));
    auto expired = release::SignList(list, 3, *key, std::string("2020-01-01"));
    std::ofstream(root_ / "release" / "filelist.txt.sig", std::ios::binary)
        << release::WriteSignatureFile(*expired);
    EXPECT_EQ(Run({"verify", "@release", "--public", pub_}), 1);
    EXPECT_NE(err_.str().find("expired on 2020-01-01"), std::string::npos) << err_.str();
}

// Both files in place, or the folder as it was: a signature that cannot be put in place
// puts the previous list back.
TEST_F(PublishTool, ListAndSignatureArePutInPlaceTogether) {
    for (bool hadList : {true, false}) {
        SCOPED_TRACE(hadList ? "with a previous list" : "without one");
        fs::remove_all(root_ / "release");
        Put("filelist.txt.sig/in-the-way", "x");
        if (hadList) {
            Put("filelist.txt", "old\t1\r\n");
        }
        const auto before = Snapshot();
        auto committed = publish::CommitRelease(publish::OutputNames(Release()), "new\t2\r\n",
                                                std::string("signature"));
        ASSERT_FALSE(committed);
        EXPECT_NE(committed.problem().find("the folder is as it was"), std::string::npos)
            << committed.problem();
        EXPECT_EQ(Snapshot(), before);
    }
    fs::remove_all(root_ / "release");
    Put("a", "1");
    ASSERT_EQ(Run({"publish", "@release", "--dry-run"}), 0);
    EXPECT_NE(out_.str().find("new: a\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("dry run, nothing written"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt"));
    // For machines: one object, the same plan, nothing else on standard output.
    ASSERT_EQ(Run({"publish", "@release", "--dry-run", "--json"}), 0);
    EXPECT_EQ(out_.str().rfind("{\"command\":\"publish\",\"exit\":0,\"written\":false,"
                               "\"dryRun\":true,",
                               0),
              0u)
        << out_.str();
    EXPECT_NE(out_.str().find("\"entries\":1,\"bytes\":1,\"new\":1,"), std::string::npos);
    EXPECT_NE(out_.str().find("\"fetch\":{\"files\":1,\"bytes\":1},\"release\":null"),
              std::string::npos);
    EXPECT_EQ(Run({"publish", "@release", "--json", "--release", "0", "--key", "k"}), 2);
    EXPECT_NE(out_.str().find("\"exit\":2,"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("\"problems\":[\"--release takes a number"), std::string::npos);
    const std::string json = out_.str();
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << "one object, one line";
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt"));
}

TEST_F(PublishTool, KeygenSignAndVerify) {
    MakeKey();
    EXPECT_EQ(pub_.size(), 128u);
    const std::string keyText = Read(root_ / "maker.key");
    EXPECT_EQ(Run({"keygen", "@maker.key"}), 1) << "an existing key file is never overwritten";
    EXPECT_EQ(Read(root_ / "maker.key"), keyText);
    EXPECT_EQ(Run({"public", "@maker.key"}), 0);
    EXPECT_EQ(out_.str(), pub_ + "\n");
    EXPECT_EQ(Run({"public", "-"}, keyText), 0);
    EXPECT_EQ(out_.str(), pub_ + "\n");
    EXPECT_EQ(Run({"public", "-"}, "junk"), 1);

    Put("AppLaunch.exe", "launcher");
    Put("bin/core.dll", "core");
    ASSERT_EQ(Run({"publish", Release(), "--key", "@maker.key"}), 0) << err_.str();
    EXPECT_EQ(Sig().release, 1u);
    EXPECT_EQ(Sig().listSize, List().size());
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 0) << err_.str();
    EXPECT_NE(out_.str().find("release 1"), std::string::npos);
    ASSERT_EQ(Run({"publish", Release()}), 0) << "an unchanged list keeps its signature";
    EXPECT_EQ(err_.str(), "");

    // What verify finds wrong.
    ASSERT_EQ(Run({"keygen", "@other.key"}), 0);
    std::string otherPub = out_.str();
    otherPub = otherPub.substr(otherPub.size() - 129, 128);
    EXPECT_EQ(Run({"verify", Release(), "--public", otherPub}), 1);
    EXPECT_NE(err_.str().find("not made with this key"), std::string::npos) << err_.str();
    Put("bin/core.dll", "core, changed after signing");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 1);
    EXPECT_NE(err_.str().find("\"bin/core.dll\": its size is 27 bytes, not the 4 listed"),
              std::string::npos)
        << err_.str();
    fs::remove(root_ / "release" / "bin" / "core.dll");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 1);
    EXPECT_NE(err_.str().find("missing"), std::string::npos) << err_.str();
    Put("bin/core.dll", "core");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 0) << err_.str();
    {
        std::ofstream(root_ / "release" / "filelist.txt", std::ios::app | std::ios::binary)
            << "extra\t1\r\n";
    }
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 3) << "a damaged folder";
    EXPECT_NE(err_.str().find("signs another list"), std::string::npos) << err_.str();
    fs::remove(root_ / "release" / "filelist.txt.sig");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub_}), 1);
    EXPECT_EQ(Run({"verify", Release(), "--public", "abc"}), 2);
}

// Hashing shows how far it has come once it has taken a second, at most ten times a second,
// and leaves the terminal's line clean.
TEST_F(PublishTool, HashingLongerThanASecondShowsProgress) {
    using Clock = publish::TerminalProgress::Clock;
    Clock::time_point now{};
    std::ostringstream terminal;
    publish::TerminalProgress progress(terminal, [&] { return now; });
    progress.Begin(2, 3000000);
    progress.Hashed("a.dat", 1000000);
    now += std::chrono::milliseconds(900);
    progress.Hashed("a.dat", 2000000);
    EXPECT_EQ(terminal.str(), "") << "nothing in the first second";
    now += std::chrono::milliseconds(200);
    progress.Hashed("b.dat", 500000);
    EXPECT_EQ(terminal.str(), "\rhashing file 2 of 2, 2.5 MB of 3.0 MB\x1b[K");
    now += std::chrono::milliseconds(50);
    progress.Hashed("b.dat", 1000000);
    progress.End();
    EXPECT_EQ(terminal.str(), "\rhashing file 2 of 2, 2.5 MB of 3.0 MB\x1b[K\r\x1b[K");
}

// rotate writes the next key statement, signed by both keys; publish then signs with the key
// the folder's chain names and no other, and verify walks the chain from the build-time keys.
TEST_F(PublishTool, RotateHandsSigningOnAndPublishFollowsTheChain) {
    MakeKey();
    const std::string a = pub_;
    ASSERT_EQ(Run({"keygen", "@new.key"}), 0);
    const std::string b = out_.str().substr(out_.str().size() - 129, 128);
    const std::string idB = release::KeyId(*release::ParsePublicKey(b));
    Put("AppLaunch.exe", "launcher");
    ASSERT_EQ(Run({"publish", Release(), "--key", "@maker.key"}), 0) << err_.str();
    ASSERT_EQ(Run({"rotate", Release(), "--key", "@maker.key", "--new-key", "@new.key"}), 0)
        << err_.str();
    EXPECT_EQ(
        out_.str().find("filelist.keys/1.txt: key statement 1: releases are signed by key " + idB),
        0u);
    EXPECT_EQ(Run({"publish", Release(), "--key", "@maker.key"}), 1);
    EXPECT_NE(err_.str().find("names key " + idB + " as the signer of releases, but \"" +
                              At("maker.key") + "\" is key " +
                              release::KeyId(*release::ParsePublicKey(a))),
              std::string::npos)
        << err_.str();
    ASSERT_EQ(Run({"publish", Release(), "--key", "@new.key"}), 0) << err_.str();
    EXPECT_EQ(Paths(), std::vector<std::string>{"AppLaunch.exe"}) << "statements are not listed";
    EXPECT_EQ(Sig().statements, 1u);
    EXPECT_EQ(Sig().keyId, idB);
    EXPECT_EQ(Run({"verify", Release(), "--public", a + "," + b}), 0) << err_.str();
    EXPECT_EQ(Run({"publish", Release(), "--key", "@new.key", "--out", "@out"}), 1);
    EXPECT_NE(err_.str().find("updaters fetch them beside the list"), std::string::npos);
    EXPECT_EQ(Run({"verify", Release(), "--public", b}), 1);
    EXPECT_NE(err_.str().find("not signed by a key these updaters trust"), std::string::npos);
    // B hands on to itself and the maker's key: A may not sign statement 3, and is warned.
    ASSERT_EQ(
        Run({"rotate", Release(), "--key", "@new.key", "--new-key", "@new.key", "--next-keys", b}),
        0);
    EXPECT_EQ(Run({"rotate", Release(), "--key", "@maker.key", "--new-key", "@new.key"}), 0);
    EXPECT_NE(err_.str().find("updaters will refuse this one"), std::string::npos);
    EXPECT_EQ(Run({"verify", Release(), "--public", a}), 1);
    EXPECT_NE(err_.str().find("3.txt\" is not signed by a key the statement before it allows"),
              std::string::npos)
        << err_.str();

    fs::remove(root_ / "release" / "filelist.keys" / "3.txt");
    const fs::path keys = root_ / "damaged" / "filelist.keys";
    const std::map<std::string, std::function<void()>> damaged = {
        {"key statement 1 is missing", [&] { fs::rename(keys / "1.txt", keys / "9.txt"); }},
        {"is no key statement", [&] { std::ofstream(keys / "notes.txt") << "x"; }},
        {"2.txt\" is damaged", [&] { std::ofstream(keys / "2.txt", std::ios::app) << "x"; }},
        {"2.txt\" carries another number",
         [&] {
             fs::copy_file(keys / "1.txt", keys / "2.txt", fs::copy_options::overwrite_existing);
         }},
    };
    for (const auto& [says, damage] : damaged) {
        fs::remove_all(At("damaged"));
        fs::copy(Release(), At("damaged"), fs::copy_options::recursive);
        damage();
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"rotate", "@damaged", "--key", "@new.key", "--new-key", "@new.key"},
                 {"publish", "@damaged", "--key", "@new.key"},
                 {"verify", "@damaged", "--public", a}}) {
            EXPECT_EQ(Run(args), 3) << args[0];
            EXPECT_NE(err_.str().find(says), std::string::npos) << args[0] << ": " << err_.str();
        }
    }
    for (const auto& wrong : std::vector<std::vector<std::string>>{
             {"rotate", Release(), "--key", "@new.key"},
             {"rotate", Release(), "--key", "-", "--new-key", "-"},
             {"rotate", Release(), "--key", "@new.key", "--new-key", "@new.key", "--next-keys",
              "ab"},
             {"publish", Release(), "--new-key", "@new.key"}}) {
        EXPECT_EQ(Run(wrong), 2) << wrong.back();
    }
}

struct Line {
    std::vector<std::string> args;
    int exit;
    std::string says; // on standard output for 0, on standard error otherwise
};

TEST_F(PublishTool, CommandLineIsConventional) {
    const Line lines[] = {
        {{"--help"}, 0, "usage: quorvel-publish keygen KEYFILE"},
        {{"-h"}, 0, "Exit codes: 0 done"},
        {{"help"}, 0, "quorvel-publish help [COMMAND]"},
        {{"help", "publish"}, 0, "--exclude GLOB"},
        {{"publish", "--help"}, 0, "--exclude GLOB"},
        {{"verify", "x", "-h"}, 0, "--public HEX"},
        {{"--version"}, 0, "quorvel-publish 1."},
        {{}, 2, "no command given"},
        {{"frobnicate", "x"}, 2, "unknown command \"frobnicate\""},
        {{"help", "frobnicate"}, 2, "no command \"frobnicate\""},
        {{"publish"}, 2, "publish needs a release folder"},
        {{"publish", "a", "b"}, 2, "not also \"b\""},
        {{"publish", "a", "--key"}, 2, "--key needs a value"},
        {{"publish", "a", "--key", "k", "--key", "k"}, 2, "--key is given twice"},
        {{"publish", "a", "--bogus"}, 2, "unknown option --bogus"},
        {{"keygen", "k", "--release", "5"}, 2, "--release does not apply to keygen"},
        {{"keygen", "k", "--public", "00"}, 2, "--public does not apply to keygen"},
        {{"publish", "a", "--release", "99"}, 2, "--release applies to a signed release only"},
        {{"publish", "a", "--expires", "9"}, 2, "give --key too"},
        {{"keygen", "-"}, 2, "never to standard output"},
        {{"verify", "a"}, 2, "verify needs --public"},
        {{"publish", "a", "--key", "@k", "--release", "x"}, 2, "--release takes a number"},
        {{"publish", "a", "--key", "-"}, 2, "--key - needs --history FILE"},
        {{"publish", "a", "--history", "h"}, 2, "--history applies to a signed release only"},
        {{"verify", "a", "--public", "00", "--history", "h"}, 2, "--history does not apply"},
        {{"verify", "https://updates.example/x/", "--public", std::string(128, '0')},
         2,
         "is no http:// URL"},
        {{"help", "verify"}, 0, "quorvel-publish verify URL --public HEX"},
        {{"--help"}, 0, "3 a damaged folder or history"},
        {{"help", "publish"}, 0, "--code-page N"},
        {{"publish", "a", "--code-page", "437"},
         2,
         "--code-page takes one of the code pages 1252 (Western), 932 (Japanese), 936 "
         "(Simplified Chinese), 949 (Korean), 950 (Traditional Chinese), not \"437\""},
        {{"verify", "a", "--public", "00", "--code-page", "-932"}, 2, "not \"-932\""},
        {{"rotate", "a", "--code-page", "932"}, 2, "--code-page does not apply to rotate"},
    };
    for (const auto& l : lines) {
        SCOPED_TRACE(::testing::PrintToString(l.args));
        EXPECT_EQ(Run(l.args), l.exit);
        const std::string said = l.exit == 0 ? out_.str() : err_.str();
        EXPECT_NE(said.find(l.says), std::string::npos) << said;
        EXPECT_EQ(l.exit == 0 ? err_.str() : out_.str(), "");
        if (l.exit == 2) {
            EXPECT_NE(said.find("Try 'quorvel-publish "), std::string::npos) << said;
        }
    }
}

} // namespace
