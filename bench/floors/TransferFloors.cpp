// What the start-up fetch costs under the same Windows whatever the updater's own code does:
// the labels that every download shows and hides, and the downloads alone through the
// platform's HTTP client (also each moved into its own place). transfer.sh sets these beside
// the whole Quorvel.exe run.
//   transfer-floors labels COUNT
//   transfer-floors downloads BASE_URL LIST_FILE TEMP_FILE
//   transfer-floors hashed BASE_URL LIST_FILE TEMP_FILE    each checked against its stamp
//   transfer-floors placed BASE_URL LIST_FILE TEMP_FILE TARGET_FOLDER   each moved into place
#include "app/Main.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Ui.h"
#include "release/ReleaseFormat.h"
#include "transfer/Fetch.h"

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
    } else {
        std::fprintf(stderr, "usage: transfer-floors labels COUNT | downloads BASE_URL "
                             "LIST_FILE TEMP_FILE | hashed BASE_URL LIST_FILE TEMP_FILE | placed "
                             "BASE_URL LIST_FILE TEMP_FILE TARGET_FOLDER\n");
        return 2;
    }
    if (seconds < 0) {
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
