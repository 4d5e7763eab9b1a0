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
    std::string cls;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof(cls));
    if (pid == search->process && search->cls == cls &&
        (!search->visibleOnly || IsWindowVisible(hwnd))) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND TopLevelWindow(DWORD process, const char* windowClass, bool visibleOnly) {
    Search search{process, windowClass, visibleOnly, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

MessageBoxWatcher::MessageBoxWatcher(std::function<int(const SeenBox&)> answer, DWORD process)
    : answer_(std::move(answer)), process_(process), thread_([this] { Watch(); }) {}

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
        HWND box = TopLevelWindow(process_, "#32770", true);
        if (box != nullptr && box != last) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let it finish building
            SeenBox seen;
            seen.caption = WindowText(box);
            seen.text = WindowText(GetDlgItem(box, 0xFFFF));
            seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(seen);
            }
            int button = answer_ ? answer_(seen) : IDOK;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            ++answered_;
            last = box;
        } else if (box == nullptr) {
            last = nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
