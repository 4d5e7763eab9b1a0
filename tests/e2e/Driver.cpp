// The operator of the end-to-end tests: starts Quorvel.exe, records every message box it
// shows (caption, text, buttons) in order, answers each as the script says, clicks the
// updater's controls by caption, and records how the updater ended.
//
//   quorvel-driver LOG STEP...
//
// Steps, run in order (each wait gives up after its seconds, 60 by default):
//   launch=PATH              start the updater
//   answer=OK|Cancel         the answer to the next box not yet answered (default OK)
//   wait-minimised           until the updater's window is minimised
//   wait-enabled=CAPTION     until that control is enabled
//   click=CAPTION            click a button or check box, as the operator does
//   hold=PATH                open a file sharing nothing, until the driver ends
//   wait-boxes=N             until N boxes have been seen and answered
//   close                    close the updater's window
//   wait-exit                until the updater has ended; records its exit code
// Log lines: "BOX <caption>|<text>|<OK or OKCANCEL>", "EXIT <code>", "ERROR <what>".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex g_mutex;
FILE* g_log = nullptr;
std::deque<int> g_answers;
std::atomic<int> g_boxes{0};
DWORD g_pid = 0;
HANDLE g_process = nullptr;
std::atomic<bool> g_stop{false};

void Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fprintf(g_log, "%s\n", line.c_str());
    std::fflush(g_log);
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::string Text(HWND hwnd) {
    char text[4096] = {};
    GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

struct Search {
    std::string cls;
    bool visibleOnly = true;
    HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof(cls));
    if (pid == g_pid && search->cls == cls && (!search->visibleOnly || IsWindowVisible(hwnd))) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND TopLevel(const char* cls, bool visibleOnly) {
    Search search{cls, visibleOnly};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND MainWindow() {
    return TopLevel("TFORM_MAIN", false);
}

HWND Control(const std::string& caption) {
    HWND main = MainWindow();
    for (HWND c = main ? GetWindow(main, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (Text(c) == caption) {
            return c;
        }
    }
    return nullptr;
}

// Answers message boxes as they appear, each once.
void WatchBoxes() {
    HWND last = nullptr;
    while (!g_stop) {
        HWND box = TopLevel("#32770", true);
        if (box != nullptr && box != last) {
            Sleep(100); // let it finish building
            bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
            Log("BOX " + Escaped(Text(box)) + "|" + Escaped(Text(GetDlgItem(box, 0xFFFF))) + "|" +
                (cancel ? "OKCANCEL" : "OK"));
            int answer = IDOK;
            {
                std::lock_guard<std::mutex> lock(g_mutex);
                if (!g_answers.empty()) {
                    answer = g_answers.front();
                    g_answers.pop_front();
                }
            }
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            ++g_boxes;
            last = box;
        } else if (box == nullptr) {
            last = nullptr;
        }
        Sleep(30);
    }
}

template <typename Condition> bool WaitFor(Condition condition, int seconds) {
    for (int waited = 0; waited < seconds * 1000; waited += 50) {
        if (condition()) {
            return true;
        }
        if (g_process && WaitForSingleObject(g_process, 0) == WAIT_OBJECT_0) {
            return condition();
        }
        Sleep(50);
    }
    return false;
}

// A click as the control gets it from the mouse: a check box toggles, then the window
// hears of the click.
bool Click(const std::string& caption) {
    HWND control = Control(caption);
    if (control == nullptr || !IsWindowEnabled(control)) {
        return false;
    }
    LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE) & 0xF;
    if (style == BS_AUTOCHECKBOX) {
        LRESULT checked = SendMessageA(control, BM_GETCHECK, 0, 0);
        SendMessageA(control, BM_SETCHECK, checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    return true;
}

bool Launch(const std::string& path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::string line = "\"" + path + "\"";
    std::string folder = path.substr(0, path.find_last_of('\\') + 1);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    g_process = process.hProcess;
    g_pid = process.dwProcessId;
    return WaitFor([] { return MainWindow() != nullptr; }, 60);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel-driver LOG STEP...\n");
        return 2;
    }
    g_log = std::fopen(argv[1], "w");
    if (g_log == nullptr) {
        return 2;
    }
    std::thread watcher(WatchBoxes);
    std::vector<HANDLE> held;
    int status = 0;
    for (int i = 2; i < argc && status == 0; ++i) {
        std::string step = argv[i];
        std::string name = step.substr(0, step.find('='));
        std::string arg =
            step.find('=') == std::string::npos ? "" : step.substr(step.find('=') + 1);
        bool ok = true;
        if (name == "launch") {
            ok = Launch(arg);
        } else if (name == "answer") {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_answers.push_back(arg == "Cancel" ? IDCANCEL : IDOK);
        } else if (name == "wait-boxes") { // wait-boxes=N or N/SECONDS
            int n = std::atoi(arg.c_str());
            auto slash = arg.find('/');
            int seconds = slash == std::string::npos ? 60 : std::atoi(arg.c_str() + slash + 1);
            ok = WaitFor([n] { return g_boxes >= n; }, seconds);
            Sleep(300); // until the box has closed and its handler has gone on
        } else if (name == "wait-minimised") {
            ok = WaitFor([] { return MainWindow() && IsIconic(MainWindow()); }, 60);
        } else if (name == "wait-enabled") {
            ok = WaitFor([&] { return Control(arg) && IsWindowEnabled(Control(arg)); }, 60);
        } else if (name == "click") {
            ok = Click(arg);
        } else if (name == "hold") {
            HANDLE h = CreateFileA(arg.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            ok = h != INVALID_HANDLE_VALUE;
            held.push_back(h);
        } else if (name == "close") {
            ok = MainWindow() != nullptr && PostMessageA(MainWindow(), WM_CLOSE, 0, 0);
        } else if (name == "wait-exit") {
            ok = g_process && WaitForSingleObject(g_process, 120000) == WAIT_OBJECT_0;
            DWORD code = 0;
            if (ok && GetExitCodeProcess(g_process, &code)) {
                Sleep(200); // boxes seen just before the end are logged first
                Log("EXIT " + std::to_string(code));
            }
        } else {
            ok = false;
        }
        if (!ok) {
            Log("ERROR " + step);
            status = 1;
        }
    }
    if (status != 0 && g_process) {
        TerminateProcess(g_process, 3);
    }
    g_stop = true;
    watcher.join();
    for (HANDLE h : held) {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
    std::fclose(g_log);
    return status;
}
