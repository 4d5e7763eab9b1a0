// Finds the message boxes that this process shows, reads them and answers them, from a
// thread of its own, as an operator would.
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
    // answer picks IDOK or IDCANCEL for each box seen.
    explicit MessageBoxWatcher(std::function<int(const SeenBox&)> answer);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<SeenBox> Seen();

private:
    void Watch();

    std::function<int(const SeenBox&)> answer_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

// The text of a window, as GetWindowTextA gives it.
std::string WindowText(HWND hwnd);
