// What the start-up fetch costs under the same Windows whatever the updater's own code does:
// the labels that every download shows and hides, and the downloads alone through the
// platform's HTTP client (also each moved into its own place). transfer.sh sets these beside
// the whole Quorvel.exe run.
//   transfer-floors labels COUNT
//   transfer-floors downloads BASE_URL LIST_FILE TEMP_FILE
//   transfer-floors hashed BASE_URL LIST_FILE TEMP_FILE    each checked against its stamp
//   transfer-floors placed BASE_URL LIST_FILE TEMP_FILE TARGET_FOLDER   each moved into place
//   transfer-floors winhttp BASE_URL LIST_FILE TEMP_FILE   the same through WinHTTP
#include "app/Main.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Ui.h"
#include "release/ReleaseFormat.h"
#include "transfer/Fetch.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The label steps of one download, in the real window once its start-up tick has come.
double LabelCycles(int count) {
    TFORM_MAIN form;
    double seconds = 0;
    form.AutoTimer.OnTimer([&] {
        form.AutoTimer.SetEnabled(false);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            form.DownloadLabel.SetVisible(true);
            form.ShowFileName.SetVisible(true);
            form.ShowFileName.SetText("modules/m" + std::to_string(i % 6) + "/f" +
                                      std::to_string(i) + ".bin");
            platform::ProcessMessages();
            form.DownloadLabel.SetVisible(false);
            form.ShowFileName.SetVisible(false);
            platform::ProcessMessages();
        }
        seconds = SecondsSince(start);
        platform::TerminateApplication();
    });
    platform::RunMessageLoop(form.Window);
    return seconds;
}

// Every entry of the list file, read as the updater reads a list. A list of no entries
// measures nothing and is refused.
std::vector<release::ListEntry> ListEntries(const char* listFile) {
    std::ifstream in(listFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<release::ListEntry> entries = release::ParseList(text.str());
    if (entries.empty()) {
        std::fprintf(stderr, "transfer-floors: %s lists no file\n", listFile);
    }
    return entries;
}

// Each level of a list path's folder below target made, once: the least a fetch into empty
// folders must do for them.
bool MakeFoldersOnce(const std::string& target, const std::string& path,
                     std::set<std::string>& made) {
    std::string folder = target;
    for (std::size_t start = 0, slash = path.find('/'); slash != std::string::npos;
         start = slash + 1, slash = path.find('/', start)) {
        folder += path.substr(start, slash - start) + "\\";
        if (made.insert(folder).second && !platform::CreateFolder(folder)) {
            return false;
        }
    }
    return true;
}

std::string LocalPath(const std::string& target, std::string path) {
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return target + path;
}

// With hashed, each body's SHA-256 is taken while it arrives and checked against the entry's
// stamp, as the protected updater does. With a target folder (empty), each file is then moved
// to its own place below it, its folders made once: the one move a file must make.
double Downloads(const std::string& base, const char* listFile, const std::string& temp,
                 bool hashed, const std::string& target = std::string()) {
    const std::vector<release::ListEntry> entries = ListEntries(listFile);
    if (entries.empty()) {
        return -1;
    }
    std::set<std::string> made;
    const Clock::time_point start = Clock::now();
    for (const release::ListEntry& entry : entries) {
        const std::string url = base + entry.path + "?fakevariable=1";
        platform::Sha256Digest digest{};
        if (!FetchFile(url, temp, DownloadBounds{}, hashed ? &digest : nullptr)) {
            std::fprintf(stderr, "transfer-floors: %s did not download\n", entry.path.c_str());
            return -1;
        }
        if (hashed && release::StampDigest(entry.stamp) != digest) {
            std::fprintf(stderr, "transfer-floors: %s does not match its stamp\n",
                         entry.path.c_str());
            return -1;
        }
        if (!target.empty() && (!MakeFoldersOnce(target, entry.path, made) ||
                                platform::MoveExisting(temp, LocalPath(target, entry.path)) !=
                                    platform::MoveResult::Moved)) {
            std::fprintf(stderr, "transfer-floors: %s could not be put in place\n",
                         entry.path.c_str());
            return -1;
        }
    }
    return SecondsSince(start);
}

// The system's other HTTP client, for comparison: one session and one connection for every
// file, the body read as it arrives into the file, as the updater's own download does.
struct WinHttpHandle {
    HINTERNET h = nullptr;
    explicit WinHttpHandle(HINTERNET handle) : h(handle) {}
    ~WinHttpHandle() {
        if (h != nullptr) {
            WinHttpCloseHandle(h);
        }
    }
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;
};

bool WinHttpFetch(HINTERNET connection, const std::wstring& path, const std::string& temp,
                  std::vector<char>& buffer) {
    WinHttpHandle request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (request.h == nullptr ||
        !WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request.h, nullptr)) {
        return false;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX) ||
        status != 200) {
        return false;
    }
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    while (ok) {
        DWORD available = 0;
        DWORD got = 0;
        DWORD written = 0;
        ok = WinHttpQueryDataAvailable(request.h, &available) != FALSE;
        if (!ok || available == 0) {
            break;
        }
        const DWORD want =
            available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
        ok = WinHttpReadData(request.h, buffer.data(), want, &got) != FALSE &&
             WriteFile(file, buffer.data(), got, &written, nullptr) && written == got;
    }
    ok = ok && FlushFileBuffers(file);
    CloseHandle(file);
    return ok;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

double WinHttpDownloads(const std::string& base, const char* listFile, const std::string& temp) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    const std::wstring wideBase = Wide(base);
    if (!WinHttpCrackUrl(wideBase.c_str(), 0, 0, &parts)) {
        return -1;
    }
    WinHttpHandle session(WinHttpOpen(L"Quorvel", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    WinHttpHandle connection(
        session.h == nullptr ? nullptr : WinHttpConnect(session.h, host, parts.nPort, 0));
    if (connection.h == nullptr) {
        return -1;
    }
    std::vector<char> buffer(256 * 1024);
    const std::vector<release::ListEntry> entries = ListEntries(listFile);
    if (entries.empty()) {
        return -1;
    }
    const Clock::time_point start = Clock::now();
    for (const release::ListEntry& entry : entries) {
        if (!WinHttpFetch(connection.h, std::wstring(path) + Wide(entry.path) + L"?fakevariable=1",
                          temp, buffer)) {
            std::fprintf(stderr, "transfer-floors: %s did not download\n", entry.path.c_str());
            return -1;
        }
    }
    return SecondsSince(start);
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    double seconds = -1;
    if (what == "labels" && argc == 3) {
        seconds = LabelCycles(std::atoi(argv[2]));
    } else if (what == "downloads" && argc == 5) {
        seconds = Downloads(argv[2], argv[3], argv[4], false);
    } else if (what == "hashed" && argc == 5) {
        seconds = Downloads(argv[2], argv[3], argv[4], true);
    } else if (what == "placed" && argc == 6) {
        seconds = Downloads(argv[2], argv[3], argv[4], false, argv[5]);
    } else if (what == "winhttp" && argc == 5) {
        seconds = WinHttpDownloads(argv[2], argv[3], argv[4]);
    } else {
        std::fprintf(stderr, "usage: transfer-floors labels COUNT | downloads BASE_URL "
                             "LIST_FILE TEMP_FILE | hashed BASE_URL LIST_FILE TEMP_FILE | placed "
                             "BASE_URL LIST_FILE TEMP_FILE TARGET_FOLDER | winhttp BASE_URL "
                             "LIST_FILE TEMP_FILE\n");
        return 2;
    }
    if (seconds < 0) {
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
