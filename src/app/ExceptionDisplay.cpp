#include "ExceptionDisplay.h"

#include "../platform/Ui.h"
#include "Messages.h"

#include <exception>

std::string ExceptionDisplayText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

void RunGuarded(const std::function<void()>& action) {
    std::string message;
    try {
        action();
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    platform::ShowErrorBox(ExceptionDisplayText(message), msg::kAppTitle);
}

std::function<void()> Guarded(std::function<void()> handler) {
    return [handler = std::move(handler)] { RunGuarded(handler); };
}
