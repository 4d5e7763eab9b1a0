// The program entry: builds the window and runs the message loop. The command line is not read.
#include "ExceptionDisplay.h"
#include "Main.h"
#include "Messages.h"

#include "../platform/System.h"

#include <memory>

namespace {

// Two updaters at once would share the temporary file and the lists: the second one leaves.
constexpr const char* kInstanceLockName = "Quorvel.Updater.Pelmora";

} // namespace

int RunProgram() {
    platform::InstanceLock lock(kInstanceLockName);
    if (!lock.Acquired()) {
        ShowMessageBox(msg::kAlreadyRunning, msg::kUpdateError, platform::MbOk);
        return 0;
    }
    RunGuarded([] {
        auto form = std::make_unique<TFORM_MAIN>();
        platform::RunMessageLoop(form->Window);
    });
    FORM_MAIN = nullptr; // also when the window was never finished
    return 0;
}
