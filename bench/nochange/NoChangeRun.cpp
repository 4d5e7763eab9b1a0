// One no-change normal-mode run on an installation whose local list equals the served list,
// timed in the real window: the list is fetched and read, and every row's target and backup
// folders are walked and made. A first, untimed run makes the target folders as an earlier
// update would have; the timed run a second later builds its own backup skeleton.
//   no-change-run INSTALL_FOLDER
// Prints the seconds of the timed run. Every message box is answered OK and shown on stderr.
#include "app/Main.h"
#include "platform/Ui.h"
#include "win32/MessageBoxWatcher.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: no-change-run INSTALL_FOLDER\n");
        return 2;
    }
    MessageBoxWatcher watcher([](const SeenBox& box) {
        std::fprintf(stderr, "box: %s\n", box.text.c_str());
        return IDOK;
    });
    TFORM_MAIN form;
    double seconds = -1;
    form.AutoTimer.OnTimer([&] {
        form.AutoTimer.SetEnabled(false);
        form.ManualUpdate.SetChecked(false);
        form.ManualUpdateClick();
        form.PelmoraPath.SetText(argv[1]);
        form.UpdateSoftwareButtonClick();
        Sleep(1100); // a run stamp of its own
        form.PelmoraPath.SetText(argv[1]);
        const auto start = std::chrono::steady_clock::now();
        form.UpdateSoftwareButtonClick();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        platform::TerminateApplication();
    });
    platform::RunMessageLoop(form.Window);
    if (seconds < 0) {
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
