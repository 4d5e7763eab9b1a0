// Hostile list paths against the real file system: the local folder is refused or lies
// below the base, and nothing appears outside the base.
#include "app/Main.h"
#include "contract/Fixture.h"
#include "platform/Files.h"
#include "release/Applicable.h"
#include "transfer/Transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

// Every entry below a folder, as paths.
void Collect(const std::string& folder, std::set<std::string>& out) {
    std::vector<platform::DirEntry> entries;
    if (!platform::ListFolder(folder + "*", entries)) {
        return;
    }
    for (const auto& e : entries) {
        if (e.name == "." || e.name == "..") {
            continue;
        }
        out.insert(folder + e.name);
        if (e.attributes & platform::AttrDirectory) {
            Collect(folder + e.name + "\\", out);
        }
    }
}

TEST(HostileListContract, NothingIsMadeOutsideTheBase) {
    std::string root = fixture::ScratchFolder();
    std::string base = root + "Inst\\";
    fixture::MakeFolder(root + "Inst");
    auto form = std::make_unique<TFORM_MAIN>();
    form->AutoTimer.SetEnabled(false);
    const char* paths[] = {
        "../x.dll",
        "../../evil/x.dll",
        "./x.dll",
        "a/../../evil/x.dll",
        "a/b:c/x.dll",
        "C:/evil/x.dll",
        "//server/share/x",
        "a/\x01/x.dll",
        ".. /evil/x.dll",
        "... /evil/x.dll",
        "a\\..\\..\\evil\\x.dll",
        "a/..\\..\\x.dll",
        "D:/Data/x.dll",
        "a/\x7f\x1f/x.dll",
        "a/x\tz/y.dll",
    };
    std::set<std::string> parentBefore;
    Collect(root, parentBefore);
    for (const char* path : paths) {
        std::string local = ListPathToLocal(*form, base, path);
        EXPECT_TRUE(IsErrorText(local)) << path << " gave " << local;
    }
    std::set<std::string> after;
    Collect(root, after);
    for (const auto& p : after) {
        EXPECT_TRUE(p.rfind(base, 0) == 0 || parentBefore.count(p) != 0) << "made outside: " << p;
    }
    EXPECT_FALSE(platform::FileAttributes("C:\\evil").has_value());
    // Names the logic refuses on sight, and names it lets through.
    EXPECT_TRUE(release::RefusedLevelName(".."));
    EXPECT_TRUE(release::RefusedLevelName(". ."));
    EXPECT_FALSE(release::RefusedLevelName("a.b"));
    EXPECT_FALSE(release::RefusedLevelName("v1."));
    EXPECT_FALSE(release::RefusedLevelName("\xE9t\xE9"));
}

} // namespace
