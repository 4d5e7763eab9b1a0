// The program entry: builds the window and runs the message loop. The command line is not read.
#include "ExceptionDisplay.h"
#include "Main.h"

#include <memory>

int RunProgram() {
    RunGuarded([] {
        auto form = std::make_unique<TFORM_MAIN>();
        platform::RunMessageLoop(form->Window);
    });
    FORM_MAIN = nullptr; // also when the window was never finished
    return 0;
}
