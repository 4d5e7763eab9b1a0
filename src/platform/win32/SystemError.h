// Failures of the Windows API raised as errors that carry the system's own words.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace platform {

// The system's message text for an error code, without its closing line break.
inline std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length)
                                                        : "System error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

// Raises the last error of the calling thread; read before anything else can change it.
[[noreturn]] inline void ThrowLastError() {
    DWORD code = GetLastError();
    throw std::runtime_error(SystemMessage(code));
}

} // namespace platform
