// The message pump step and the modal message box, as every part of the program calls them.
#include "Main.h"

void ProcessMessages() {
    platform::ProcessMessages();
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned buttons) {
    return platform::ShowMessageBox(text, caption, buttons);
}
