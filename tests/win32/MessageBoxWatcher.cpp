#include "MessageBoxWatcher.h"

#include <chrono>

std::string WindowText(HWND hwnd) {
    char text[4096] = {};
    GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof(cls));
    if (pid == search->process && std::string(cls) == "#32770" && IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

MessageBoxWatcher::MessageBoxWatcher(std::function<int(const SeenBox&)> answer)
    : answer_(std::move(answer)), thread_([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> MessageBoxWatcher::Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void MessageBoxWatcher::Watch() {
    HWND last = nullptr;
    while (!stop_) {
        Search search{GetCurrentProcessId(), nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && search.found != last) {
            SeenBox box;
            box.caption = WindowText(search.found);
            box.text = WindowText(GetDlgItem(search.found, 0xFFFF));
            box.hasCancel = GetDlgItem(search.found, IDCANCEL) != nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(box);
            }
            int button = answer_ ? answer_(box) : IDOK;
            PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            last = search.found;
        } else if (search.found == nullptr) {
            last = nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
