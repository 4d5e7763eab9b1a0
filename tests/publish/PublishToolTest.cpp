// quorvel-publish, run in-process on real folders.
#include "Tool.h"
#include "release/ReleaseFormat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

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
    std::string List() const { return Read(root_ / "release" / "filelist.txt"); }
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
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        std::istringstream in;
        return publish::RunTool(args, in, out_, err_);
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
    std::string PublicKeyOf(const std::string& keyFile) {
        auto key = release::ParseKeyFile(Read(keyFile));
        EXPECT_TRUE(key.has_value());
        std::string text = out_.str();
        text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }

    fs::path root_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(PublishTool, WritesEveryFileWithDateAndHashInCrLfLines) {
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
    EXPECT_LT(stamp.size(), 200u);
    EXPECT_EQ(stamp.size(), 10 + 1 + 7 + 64);
    EXPECT_EQ(release::StampDigest(stamp), platform::Sha256Of("bee"));
    EXPECT_EQ(stamp[4], '-');
    EXPECT_EQ(stamp[7], '-');
    EXPECT_FALSE(fs::exists(root_ / "release" / "filelist.txt.sig")) << "no key, no signature";
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
}

TEST_F(PublishTool, PreviousListElsewhereGivesTheOrder) {
    Put("a", "1");
    Put("b", "2");
    std::ofstream(root_ / "old.txt", std::ios::binary) << "b\tx\r\na\ty\r\n";
    ASSERT_EQ(Run({"publish", Release(), "--previous", (root_ / "old.txt").string()}), 0)
        << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"b", "a"}));
    std::ofstream(root_ / "lf.txt", std::ios::binary) << "b\tx\na\ty\n";
    EXPECT_EQ(Run({"publish", Release(), "--previous", (root_ / "lf.txt").string()}), 1);
    EXPECT_NE(err_.str().find("CR LF"), std::string::npos);
}

// A stamp changes exactly when the content does; the date alone changes nothing.
TEST_F(PublishTool, UnchangedFilesKeepTheirStampByteForByte) {
    Put("same.dll", "same");
    Put("changed.dll", "v1");
    const std::string hashOfSame =
        "2011-05-02\tsha256=" + release::MakeStamp("", *platform::Sha256Of("same")).substr(8);
    Put("filelist.txt", "same.dll\t" + hashOfSame + "\r\nchanged.dll\t2011-05-02\r\n");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(StampOf("same.dll"), hashOfSame);
    const std::string first = StampOf("changed.dll");
    EXPECT_NE(first, "2011-05-02");
    fs::last_write_time(root_ / "release" / "same.dll",
                        fs::last_write_time(root_ / "release" / "same.dll") -
                            std::chrono::hours(24 * 400));
    Put("changed.dll", "v2");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(StampOf("same.dll"), hashOfSame);
    EXPECT_NE(StampOf("changed.dll"), first);
    EXPECT_EQ(release::StampDigest(StampOf("changed.dll")), platform::Sha256Of("v2"));
}

TEST_F(PublishTool, RemovalThatShiftsEntriesIsRefusedUnlessAllowed) {
    Put("a", "1");
    Put("b", "2");
    Put("c", "3");
    Put("d", "4");
    ASSERT_EQ(Run({"publish", Release()}), 0);
    fs::remove(root_ / "release" / "b");
    const std::string before = List();
    EXPECT_EQ(Run({"publish", Release()}), 1);
    EXPECT_NE(err_.str().find("shifts 2 later entries"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("--allow-shift"), std::string::npos);
    EXPECT_EQ(List(), before) << "nothing written";
    ASSERT_EQ(Run({"publish", Release(), "--allow-shift"}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "c", "d"}));
    // The last entry shifts nothing.
    fs::remove(root_ / "release" / "d");
    ASSERT_EQ(Run({"publish", Release()}), 0) << err_.str();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "c"}));
}

struct BadRelease {
    const char* name;
    std::vector<std::string> files;
    std::string named; // what the message must name
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
        {"trailing dot", {"ok.dll", "x."}, "x."},
        {"letter case", {"Data/x.bin", "data/x.bin"}, "data/x.bin"},
        {"too long", {"ok.dll", deep}, deep},
        {"percent", {"ok.dll", "data/100%.txt"}, "data/100%.txt"},
        {"hash sign", {"a#1.txt", "ok.dll"}, "a#1.txt"},
        {"byte above 127", {"ok.dll", "caf\xc3\xa9.txt"}, "--8bit-names"},
        {"empty release", {}, "empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_ / "release");
        fs::create_directories(root_ / "release");
        for (const auto& f : c.files) {
            Put(f, "x");
        }
        EXPECT_EQ(Run({"publish", Release(), "--key", "unused"}), 1);
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
}

TEST_F(PublishTool, KeygenSignAndVerify) {
    const std::string key = (root_ / "maker.key").string();
    ASSERT_EQ(Run({"keygen", key}), 0) << err_.str();
    const std::string pub = PublicKeyOf(key);
    EXPECT_EQ(pub.size(), 128u);
    const std::string keyText = Read(key);
    EXPECT_EQ(Run({"keygen", key}), 1) << "an existing key file is never overwritten";
    EXPECT_EQ(Read(key), keyText);

    Put("AppLaunch.exe", "launcher");
    Put("bin/core.dll", "core");
    ASSERT_EQ(Run({"publish", Release(), "--key", key}), 0) << err_.str();
    auto sig = release::ParseSignatureFile(Read(root_ / "release" / "filelist.txt.sig"));
    ASSERT_TRUE(sig.has_value());
    EXPECT_EQ(sig->release, 1u);
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 0) << err_.str();
    EXPECT_NE(out_.str().find("release 1"), std::string::npos);

    // Numbers rise by one, or are given.
    ASSERT_EQ(Run({"publish", Release(), "--key", key}), 0) << err_.str();
    EXPECT_EQ(release::ParseSignatureFile(Read(root_ / "release" / "filelist.txt.sig"))->release,
              2u);
    ASSERT_EQ(Run({"publish", Release(), "--key", key, "--release", "40"}), 0) << err_.str();
    EXPECT_EQ(release::ParseSignatureFile(Read(root_ / "release" / "filelist.txt.sig"))->release,
              40u);
    EXPECT_EQ(Run({"publish", Release(), "--key", key, "--release", "0"}), 1);

    // What verify finds wrong.
    const std::string other = (root_ / "other.key").string();
    ASSERT_EQ(Run({"keygen", other}), 0);
    const std::string otherPub = PublicKeyOf(other);
    EXPECT_EQ(Run({"verify", Release(), "--public", otherPub}), 1);
    EXPECT_NE(err_.str().find("not made with this key"), std::string::npos) << err_.str();
    Put("bin/core.dll", "core, changed after signing");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 1);
    EXPECT_NE(err_.str().find("bin/core.dll"), std::string::npos) << err_.str();
    fs::remove(root_ / "release" / "bin" / "core.dll");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 1);
    EXPECT_NE(err_.str().find("missing"), std::string::npos) << err_.str();
    Put("bin/core.dll", "core");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 0) << err_.str();
    {
        std::ofstream(root_ / "release" / "filelist.txt", std::ios::app | std::ios::binary)
            << "extra\t1\r\n";
    }
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 1);
    EXPECT_NE(err_.str().find("signs another list"), std::string::npos) << err_.str();
    fs::remove(root_ / "release" / "filelist.txt.sig");
    EXPECT_EQ(Run({"verify", Release(), "--public", pub}), 1);
    EXPECT_EQ(Run({"verify", Release(), "--public", "abc"}), 2);
}

TEST_F(PublishTool, WrongCommandLinesAreUsageErrors) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"publish"},
        {"frobnicate", "x"},
        {"publish", "a", "b"},
        {"publish", "a", "--key"},
        {"keygen", "k", "--public", "00"},
        {"publish", "a", "--bogus"},
    };
    for (const auto& args : lines) {
        EXPECT_EQ(Run(args), 2);
        EXPECT_NE(err_.str().find("usage"), std::string::npos);
    }
}

} // namespace
