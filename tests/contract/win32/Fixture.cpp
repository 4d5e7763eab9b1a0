#include "contract/Fixture.h"
#include "release/Names.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

namespace fixture {

namespace {

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = folder + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
                RemoveDirectoryA(path.c_str());
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
}

} // namespace

std::string ScratchFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder =
        std::string(temp) + "quorvel-contract-" + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void MakeFolder(const std::string& path, std::uint32_t attributes) {
    CreateDirectoryA(path.c_str(), nullptr);
    if (attributes != FILE_ATTRIBUTE_DIRECTORY) {
        SetFileAttributesA(path.c_str(),
                           attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    }
}

std::string ShortName(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    const std::string shortPath = length > 0 && length < MAX_PATH ? buffer : "";
    return shortPath.substr(shortPath.find_last_of('\\') + 1);
}

void MakeFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    SetFileAttributesA(path.c_str(), attributes);
}

std::optional<std::string> Content(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    std::vector<char> buffer(65536);
    DWORD got = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0) {
        content.append(buffer.data(), got);
    }
    CloseHandle(file);
    return content;
}

char MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Y'; letter > 'C'; --letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) {
            return letter;
        }
    }
    return 'B';
}

bool AllFolderAttributesKept() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

void SetRegionalFormats(const std::string& shortDate, const std::string& timeFormat,
                        const std::string& am, const std::string& pm) {
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, shortDate.c_str());
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, timeFormat.c_str());
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S1159, am.c_str());
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, pm.c_str());
}

void SetEnv(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
    SetEnvironmentVariableA(name.c_str(), nullptr);
}

HeldFile::HeldFile(const std::string& path) : path_(path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = file == INVALID_HANDLE_VALUE ? nullptr : file;
}

HeldFile::~HeldFile() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

namespace {

// The port the test server took, read through Wine's view of the host's files.
std::string ServerPort() {
    const char* dir = std::getenv("QUORVEL_TEST_SERVER_DIR");
    if (dir == nullptr) {
        return std::string();
    }
    std::string path = std::string("Z:") + dir + "/port";
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    auto text = Content(path);
    if (!text) {
        return std::string();
    }
    std::string port;
    for (char c : *text) {
        if (c >= '0' && c <= '9') {
            port += c;
        }
    }
    return port;
}

} // namespace

bool ServerAvailable() {
    return !ServerPort().empty();
}

std::string ServerUrl(const std::string& name) {
    return "http://127.0.0.1:" + ServerPort() + release::kUpdateBasePath + name;
}

std::string RefusedUrl() {
    return "http://127.0.0.1:9/x";
}

// The sleeper lies beside the test program.
RunningProgram::RunningProgram() : moduleName_("quorvel_sleeper.exe") {
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string path(own);
    path = path.substr(0, path.find_last_of('\\') + 1) + moduleName_;
    std::string line = "\"" + path + "\" 30000";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        handle_ = process.hProcess;
        id_ = process.dwProcessId;
        WaitForInputIdle(process.hProcess, 2000);
        Sleep(300); // until its main module is mapped and named
    }
}

RunningProgram::~RunningProgram() {
    End();
}

void RunningProgram::End() {
    if (handle_ != nullptr) {
        TerminateProcess(handle_, 0);
        WaitForSingleObject(handle_, 10000);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

} // namespace fixture
