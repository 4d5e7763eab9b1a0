// What the start-up fetch costs under the same Windows whatever the updater's own code does:
// the labels that every download shows and hides, and the downloads alone through the
// platform's HTTP client. transfer.sh sets these beside the whole Quorvel.exe run.
//   transfer-floors labels COUNT
//   transfer-floors downloads BASE_URL LIST_FILE TEMP_FILE
#include "app/Main.h"
#include "platform/Http.h"
#include "platform/Ui.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// Every list path of the list file (the text before the first TAB of each line).
std::vector<std::string> ListPaths(const char* listFile) {
    std::vector<std::string> paths;
    std::ifstream in(listFile);
    std::string line;
    while (std::getline(in, line)) {
        std::string path = line.substr(0, line.find_first_of("\t\r"));
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    return paths;
}

double Downloads(const std::string& base, const char* listFile, const std::string& temp) {
    const std::vector<std::string> paths = ListPaths(listFile);
    const Clock::time_point start = Clock::now();
    for (const std::string& path : paths) {
        if (!platform::DownloadToFile(base + path + "?fakevariable=1", temp)) {
            std::fprintf(stderr, "transfer-floors: %s did not download\n", path.c_str());
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
        seconds = Downloads(argv[2], argv[3], argv[4]);
    } else {
        std::fprintf(stderr, "usage: transfer-floors labels COUNT | downloads BASE_URL "
                             "LIST_FILE TEMP_FILE\n");
        return 2;
    }
    if (seconds < 0) {
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
