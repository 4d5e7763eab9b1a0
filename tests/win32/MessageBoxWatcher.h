// Finds the message boxes that a process shows, reads them and answers them, from a thread
// of its own, as an operator would.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    std::string caption;
    std::string text;
    bool hasCancel = false;
};

class MessageBoxWatcher {
public:
    // answer picks IDOK or IDCANCEL for each box seen; null answers IDOK. Watches the boxes of
    // the given process, this one by default.
    explicit MessageBoxWatcher(std::function<int(const SeenBox&)> answer,
                               DWORD process = GetCurrentProcessId());
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<SeenBox> Seen();
    // How many boxes have been answered.
    int Answered() const { return answered_; }

private:
    void Watch();

    std::function<int(const SeenBox&)> answer_;
    DWORD process_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

// The text of a window, as GetWindowTextA gives it.
std::string WindowText(HWND hwnd);

// A visible top-level window of the process with that class, or null.
HWND TopLevelWindow(DWORD process, const char* windowClass, bool visibleOnly);
