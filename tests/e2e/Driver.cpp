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
//   sleep=MS                 wait that many milliseconds
//   kill                     end the updater at once, as the task manager or a power cut does
//   start-second=PATH        start a second updater beside the first; its boxes are answered
//                            OK and logged with "SECOND " in front
//   wait-exit-second         until the second updater has ended; records its exit code
//   wait-exit                until the updater has ended; records its exit code
// Log lines: "BOX <caption>|<text>|<OK or OKCANCEL>", "EXIT <code>", "ERROR <what>".
#include "win32/MessageBoxWatcher.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
FILE* g_log = nullptr;
std::deque<int> g_answers;
DWORD g_pid = 0;
HANDLE g_process = nullptr;
DWORD g_secondPid = 0;
HANDLE g_secondProcess = nullptr;

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

HWND MainWindow() {
    return TopLevelWindow(g_pid, "TFORM_MAIN", false);
}

HWND Control(const std::string& caption) {
    HWND main = MainWindow();
    for (HWND c = main ? GetWindow(main, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (WindowText(c) == caption) {
            return c;
        }
    }
    return nullptr;
}

void LogBox(const SeenBox& box, const std::string& prefix) {
    Log(prefix + "BOX " + Escaped(box.caption) + "|" + Escaped(box.text) + "|" +
        (box.hasCancel ? "OKCANCEL" : "OK"));
}

// Logs each box and gives the answer the script has queued for it, OK when none is.
int Answer(const SeenBox& box) {
    LogBox(box, "");
    std::lock_guard<std::mutex> lock(g_mutex);
    int answer = IDOK;
    if (!g_answers.empty()) {
        answer = g_answers.front();
        g_answers.pop_front();
    }
    return answer;
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

bool Start(const std::string& path, HANDLE& handle, DWORD& pid) {
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
    handle = process.hProcess;
    pid = process.dwProcessId;
    return true;
}

bool WaitExit(HANDLE process, const std::string& prefix) {
    DWORD code = 0;
    if (!process || WaitForSingleObject(process, 120000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &code)) {
        return false;
    }
    Sleep(200); // boxes seen just before the end are logged first
    Log(prefix + "EXIT " + std::to_string(code));
    return true;
}

bool Kill() {
    return g_process && TerminateProcess(g_process, 1) &&
           WaitForSingleObject(g_process, 30000) == WAIT_OBJECT_0;
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
    std::unique_ptr<MessageBoxWatcher> watcher;
    std::unique_ptr<MessageBoxWatcher> secondWatcher;
    std::vector<HANDLE> held;
    int status = 0;
    for (int i = 2; i < argc && status == 0; ++i) {
        std::string step = argv[i];
        std::string name = step.substr(0, step.find('='));
        std::string arg =
            step.find('=') == std::string::npos ? "" : step.substr(step.find('=') + 1);
        bool ok = true;
        if (name == "launch") {
            ok = Start(arg, g_process, g_pid);
            if (ok) {
                watcher = std::make_unique<MessageBoxWatcher>(Answer, g_pid);
                ok = WaitFor([] { return MainWindow() != nullptr; }, 60);
            }
        } else if (name == "answer") {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_answers.push_back(arg == "Cancel" ? IDCANCEL : IDOK);
        } else if (name == "wait-boxes") { // wait-boxes=N or N/SECONDS
            int n = std::atoi(arg.c_str());
            auto slash = arg.find('/');
            int seconds = slash == std::string::npos ? 60 : std::atoi(arg.c_str() + slash + 1);
            ok = WaitFor([&] { return watcher && watcher->Answered() >= n; }, seconds);
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
            ok = WaitExit(g_process, "");
        } else if (name == "sleep") {
            Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
        } else if (name == "kill") {
            ok = Kill();
            if (ok) {
                Log("KILLED");
            }
        } else if (name == "start-second") {
            ok = Start(arg, g_secondProcess, g_secondPid);
            if (ok) {
                secondWatcher = std::make_unique<MessageBoxWatcher>(
                    [](const SeenBox& box) {
                        LogBox(box, "SECOND ");
                        return IDOK;
                    },
                    g_secondPid);
            }
        } else if (name == "wait-exit-second") {
            ok = WaitExit(g_secondProcess, "SECOND ");
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
    watcher.reset();
    secondWatcher.reset();
    for (HANDLE h : held) {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
    std::fclose(g_log);
    return status;
}
