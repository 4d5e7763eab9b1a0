// One no-change normal-mode run on an installation whose local list equals the served list,
// timed in the real window: the list is fetched and read, and every row's target and backup
// folders are walked and made. A first, untimed run makes the target folders as an earlier
// update would have; the timed run a second later builds its own backup skeleton.
//   no-change-run INSTALL_FOLDER
//   no-change-run --siblings COUNT PARENT   Wine's own floor: COUNT new folders in one parent
//   no-change-run --exists COUNT FOLDER     Wine's own floor: COUNT checks that a folder exists
// Prints the seconds of the timed run, and only when each run ended as a no-change run must:
// with the one message that no update is required. Otherwise it names the messages the runs
// ended with on stderr and exits 1. Every message box is answered OK.
#include "app/Main.h"
#include "app/Messages.h"
#include "platform/Ui.h"
#include "win32/MessageBoxWatcher.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Each new name must be proven absent in every letter case: under Wine that reads the
// whole parent, so this alone grows with the square of the count.
double MakeSiblings(int count, const std::string& parent) {
    CreateDirectoryA(parent.c_str(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string name = parent + "\\d" + std::to_string(i);
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
            CreateDirectoryA(name.c_str(), nullptr);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CheckExists(int count, const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return -1;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The messages a run ended with, when they are not the no-change outcome alone.
std::string UnexpectedEnd(const std::vector<SeenBox>& boxes, const std::string& expected) {
    if (boxes.size() == 1 && boxes[0].text == expected) {
        return std::string();
    }
    std::string said = boxes.empty() ? "no message" : "";
    for (const SeenBox& box : boxes) {
        said += (said.empty() ? "\"" : ", \"") + box.text + "\"";
    }
    return said;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--siblings") {
        std::printf("%.3f\n", MakeSiblings(std::atoi(argv[2]), argv[3]));
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--exists") {
        std::printf("%.3f\n", CheckExists(std::atoi(argv[2]), argv[3]));
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: no-change-run INSTALL_FOLDER | "
                             "--siblings COUNT PARENT | --exists COUNT FOLDER\n");
        return 2;
    }
    const std::string expected = msg::kNoUpdateRequired;
    const std::string folder = argv[1];
    MessageBoxWatcher watcher(nullptr);
    TFORM_MAIN form;
    double seconds = -1;
    std::string firstEnd;
    std::string timedEnd;
    form.AutoTimer.OnTimer([&] {
        form.AutoTimer.SetEnabled(false);
        form.ManualUpdate.SetChecked(false);
        form.ManualUpdateClick();
        form.PelmoraPath.SetText(folder);
        form.UpdateSoftwareButtonClick();
        const std::vector<SeenBox> first = watcher.Seen();
        firstEnd = UnexpectedEnd(first, expected);
        Sleep(1100); // a run stamp of its own
        form.PelmoraPath.SetText(folder);
        const auto start = std::chrono::steady_clock::now();
        form.UpdateSoftwareButtonClick();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::vector<SeenBox> all = watcher.Seen();
        timedEnd =
            UnexpectedEnd(std::vector<SeenBox>(
                              all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end()),
                          expected);
        platform::TerminateApplication();
    });
    platform::RunMessageLoop(form.Window);
    if (!firstEnd.empty() || !timedEnd.empty()) {
        std::fprintf(stderr, "no-change-run: the runs did not end with \"%s\": %s\n",
                     expected.c_str(),
                     (!firstEnd.empty() ? "the first ended with " + firstEnd
                                        : "the timed one ended with " + timedEnd)
                         .c_str());
        return 1;
    }
    if (seconds < 0) {
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
