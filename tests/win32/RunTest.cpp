// The run's Windows parts: the stamp names a folder, the shared documents, the launch.
#include "run/Run.h"
#include "TestSettings.h"
#include "platform/Processes.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>

namespace {

std::string Scratch(const char* name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// The host path of the launcher stand-in, as Wine sees it.
std::string LauncherStandIn() {
    return testing_support::Windows(std::string("Z:") + QUORVEL_APPLAUNCH_EXE);
}

bool AppearsWithin(const std::string& path, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

TEST(RunOnWindows, StampNamesAFolderThatCanBeMade) {
    std::string stamp = MakeRunStamp();
    ASSERT_FALSE(stamp.empty());
    EXPECT_EQ(stamp.find_first_of("/: "), std::string::npos) << stamp;
    std::string folder = Scratch("quorvel-stamp-") + stamp;
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    RemoveDirectoryA(folder.c_str());
}

// The marker file lies below the shared documents that Windows itself names.
TEST(RunOnWindows, DocumentsRootHoldsTheSharedDocuments) {
    char shared[MAX_PATH] = {};
    ASSERT_EQ(
        SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, shared),
        S_OK);
    std::string documents = DocumentsRoot() + "Documents";
    CharUpperA(&documents[0]);
    CharUpperA(shared);
    EXPECT_EQ(documents, shared);
}

TEST(RunOnWindows, LauncherAtAPathWithBlanksStartsAndALookAlikeDoesNot) {
    std::string root = Scratch("quorvel-launch-");
    std::string folder = root + "Tarnell Temp Files\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(LauncherStandIn().c_str(), (folder + "AppLaunch.exe").c_str(), FALSE))
        << LauncherStandIn();
    ASSERT_TRUE(CopyFileA(LauncherStandIn().c_str(), (root + "Tarnell.exe").c_str(), FALSE));
    DeleteFileA((folder + "AppLaunch.exe.started").c_str());
    DeleteFileA((root + "Tarnell.exe.started").c_str());

    EXPECT_TRUE(platform::StartProcess("\"" + folder + "AppLaunch.exe\""));
    EXPECT_TRUE(AppearsWithin(folder + "AppLaunch.exe.started", 10000));
    EXPECT_FALSE(AppearsWithin(root + "Tarnell.exe.started", 500));

    // Unquoted, Windows takes the first blank as the end of the program name.
    EXPECT_TRUE(platform::StartProcess(folder + "AppLaunch.exe"));
    EXPECT_TRUE(AppearsWithin(root + "Tarnell.exe.started", 10000));
    EXPECT_FALSE(platform::StartProcess("\"" + root + "Missing\\AppLaunch.exe\""));
}

} // namespace
