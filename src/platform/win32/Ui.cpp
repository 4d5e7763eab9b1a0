// The window toolkit on real Win32 windows: the main window, child controls, a virtual
// list view per grid, timers, message boxes and the message pump.
#include "../Ui.h"

#include "SystemError.h"

#include <commctrl.h>

#include <map>
#include <vector>

namespace platform {

namespace {

constexpr UINT kSyncGridMessage = WM_APP + 1;
constexpr const char* kWindowClass = "TFORM_MAIN";
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

bool g_terminated = false;
Window::Impl* g_main = nullptr;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClass() {
    static bool registered = false;
    if (registered) {
        return;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kWindowClass;
    if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError();
    }
    registered = true;
}

HFONT MakeFont(int pixels, int weight) {
    return CreateFontA(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

template <typename T> T* FromWindow(HWND hwnd) {
    return reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

Rect BoundsInParent(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return Rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool HasStyle(HWND hwnd, LONG_PTR style) {
    return (GetWindowLongPtrA(hwnd, GWL_STYLE) & style) != 0;
}

} // namespace

struct Window::Impl {
    HWND hwnd = nullptr;
    HFONT fonts[3] = {};
    int nextControlId = 100;
    UINT_PTR nextTimerId = 1;
    std::map<UINT_PTR, Timer::Impl*> timers;

    HFONT Font(FontKind kind) const { return fonts[static_cast<int>(kind)]; }
};

struct Control::Impl {
    HWND hwnd = nullptr;
    HFONT font = nullptr;
    bool autoSize = false;
    std::function<void()> onClick;

    void FitWidthToText(const std::string& text);
};

struct Grid::Impl {
    HWND hwnd = nullptr;
    Grid* grid = nullptr;
    bool syncPending = false;
};

struct Timer::Impl {
    Window::Impl* owner = nullptr;
    UINT_PTR id = 0;
    unsigned interval = 0;
    bool enabled = false;
    std::function<void()> onTimer;
};

namespace {

// A child control of the window, with the user data the window procedure finds it by. A control
// that is not there would make every later call on it silently do nothing, so it throws.
HWND CreateChild(Window::Impl& window, DWORD exStyle, const char* className,
                 const std::string& text, DWORD style, const Rect& bounds, HFONT font,
                 void* userData) {
    HWND hwnd =
        CreateWindowExA(exStyle, className, text.c_str(), style, bounds.left, bounds.top,
                        bounds.width, bounds.height, window.hwnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(window.nextControlId++)),
                        GetModuleHandleA(nullptr), nullptr);
    if (hwnd == nullptr) {
        ThrowLastError();
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(userData));
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

void OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) != BN_CLICKED || lParam == 0) {
        return;
    }
    auto* control = FromWindow<Control::Impl>(reinterpret_cast<HWND>(lParam));
    if (control != nullptr && control->onClick) {
        control->onClick();
    }
}

void OnGridText(NMLVDISPINFOA& info) {
    auto* grid = FromWindow<Grid::Impl>(info.hdr.hwndFrom);
    if (grid == nullptr || (info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) {
        return;
    }
    const std::string& text = grid->grid->Cell(info.item.iSubItem, info.item.iItem);
    lstrcpynA(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

void SyncGrid(HWND gridWindow) {
    auto* grid = FromWindow<Grid::Impl>(gridWindow);
    if (grid == nullptr) {
        return;
    }
    grid->syncPending = false;
    SendMessageA(grid->hwnd, LVM_SETITEMCOUNT, static_cast<WPARAM>(grid->grid->RowCount()),
                 LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    InvalidateRect(grid->hwnd, nullptr, FALSE);
}

void OnTimer(WPARAM id) {
    if (g_main == nullptr) {
        return;
    }
    auto it = g_main->timers.find(static_cast<UINT_PTR>(id));
    if (it != g_main->timers.end() && it->second->enabled && it->second->onTimer) {
        it->second->onTimer();
    }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == LVN_GETDISPINFOA) {
            OnGridText(*reinterpret_cast<NMLVDISPINFOA*>(lParam));
        }
        return 0;
    }
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case kSyncGridMessage:
        SyncGrid(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_CLOSE:
        // The window lives on until the running handler has returned to the loop.
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

} // namespace

Window::Window(const std::string& title, int clientWidth, int clientHeight)
    : impl_(std::make_unique<Impl>()) {
    RegisterWindowClass();
    impl_->fonts[0] = MakeFont(11, FW_NORMAL);
    impl_->fonts[1] = MakeFont(16, FW_BOLD);
    impl_->fonts[2] = MakeFont(16, FW_NORMAL);
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    impl_->hwnd =
        CreateWindowExA(kWindowExStyle, kWindowClass, title.c_str(), kWindowStyle, CW_USEDEFAULT,
                        CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (impl_->hwnd == nullptr) {
        ThrowLastError();
    }
    // The title bar offers no maximise and no resize.
    HMENU menu = GetSystemMenu(impl_->hwnd, FALSE);
    if (menu != nullptr) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    }
    g_main = impl_.get();
    g_terminated = false;
}

Window::~Window() {
    for (auto& [id, timer] : impl_->timers) {
        KillTimer(impl_->hwnd, id);
        timer->owner = nullptr;
    }
    DestroyWindow(impl_->hwnd);
    for (HFONT font : impl_->fonts) {
        DeleteObject(font);
    }
    if (g_main == impl_.get()) {
        g_main = nullptr;
    }
}

std::string Window::Title() const {
    char text[256] = {};
    GetWindowTextA(impl_->hwnd, text, sizeof(text));
    return text;
}

Rect Window::ClientArea() const {
    RECT r{};
    GetClientRect(impl_->hwnd, &r);
    return Rect{0, 0, r.right - r.left, r.bottom - r.top};
}

namespace {

struct WindowClassAndStyle {
    const char* className;
    DWORD style;
    DWORD exStyle;
};

WindowClassAndStyle StyleFor(const ControlSpec& layout) {
    switch (layout.kind) {
    case ControlKind::EditBox:
        return {"EDIT", static_cast<DWORD>(ES_AUTOHSCROLL | (layout.readOnly ? ES_READONLY : 0)),
                WS_EX_CLIENTEDGE};
    case ControlKind::Button:
        return {"BUTTON", BS_PUSHBUTTON, 0};
    case ControlKind::CheckBox:
        return {"BUTTON", BS_AUTOCHECKBOX, 0};
    case ControlKind::Label:
    default:
        return {"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    }
}

DWORD CommonStyle(bool visible, bool enabled, int tabOrder) {
    return WS_CHILD | (visible ? WS_VISIBLE : 0) | (enabled ? 0 : WS_DISABLED) |
           (tabOrder >= 0 ? WS_TABSTOP : 0);
}

} // namespace

// A label shown during every download is resized only when its width really changes:
// each resize repaints.
void Control::Impl::FitWidthToText(const std::string& text) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);
    Rect r = BoundsInParent(hwnd);
    if (r.width != size.cx) {
        SetWindowPos(hwnd, nullptr, 0, 0, size.cx, r.height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Control::Control(Window& owner, const ControlSpec& layout) : impl_(std::make_unique<Impl>()) {
    Window::Impl& window = owner.impl();
    WindowClassAndStyle cls = StyleFor(layout);
    impl_->font = window.Font(layout.font);
    impl_->autoSize = layout.autoSize;
    impl_->hwnd =
        CreateChild(window, cls.exStyle, cls.className, layout.text,
                    cls.style | CommonStyle(layout.visible, layout.enabled, layout.tabOrder),
                    layout.bounds, impl_->font, impl_.get());
    if (layout.kind == ControlKind::CheckBox) {
        SendMessageA(impl_->hwnd, BM_SETCHECK, layout.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (layout.autoSize) {
        impl_->FitWidthToText(layout.text);
    }
}

Control::~Control() {
    DestroyWindow(impl_->hwnd);
}

std::string Control::Text() const {
    int length = GetWindowTextLengthA(impl_->hwnd);
    if (length <= 0) {
        return std::string();
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    int got = GetWindowTextA(impl_->hwnd, text.data(), length + 1);
    return std::string(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void Control::SetText(const std::string& text) {
    SetWindowTextA(impl_->hwnd, text.c_str());
    if (impl_->autoSize) {
        impl_->FitWidthToText(text);
    }
}

bool Control::Enabled() const {
    return IsWindowEnabled(impl_->hwnd) != 0;
}
void Control::SetEnabled(bool enabled) {
    EnableWindow(impl_->hwnd, enabled ? TRUE : FALSE);
}
bool Control::Visible() const {
    return HasStyle(impl_->hwnd, WS_VISIBLE);
}
void Control::SetVisible(bool visible) {
    ShowWindow(impl_->hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::Checked() const {
    return SendMessageA(impl_->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Control::SetChecked(bool checked) {
    SendMessageA(impl_->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Control::OnClick(std::function<void()> handler) {
    impl_->onClick = std::move(handler);
}

Grid::Grid(Window& owner, const GridSpec& layout)
    : cells_(layout.columns), impl_(std::make_unique<Impl>()) {
    Window::Impl& window = owner.impl();
    impl_->grid = this;
    impl_->hwnd =
        CreateChild(window, WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                    WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER |
                        LVS_SHOWSELALWAYS | (layout.tabOrder >= 0 ? WS_TABSTOP : 0),
                    layout.bounds, window.Font(FontKind::Window), impl_.get());
    SendMessageA(impl_->hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int c = 0; c < layout.columns; ++c) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = layout.defaultColumnWidth;
        column.iSubItem = c;
        SendMessageA(impl_->hwnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    }
    SendMessageA(impl_->hwnd, LVM_SETITEMCOUNT, 1, LVSICF_NOINVALIDATEALL);
}

Grid::~Grid() {
    DestroyWindow(impl_->hwnd);
}

// The list view learns the new row count at the next pump, once however many rows changed.
void Grid::RowCountChanged() {
    if (!impl_->syncPending) {
        impl_->syncPending = true;
        PostMessageA(GetParent(impl_->hwnd), kSyncGridMessage, 0,
                     reinterpret_cast<LPARAM>(impl_->hwnd));
    }
}

Timer::Timer(Window& owner, unsigned intervalMs, bool enabled) : impl_(std::make_unique<Impl>()) {
    impl_->owner = &owner.impl();
    impl_->id = impl_->owner->nextTimerId++;
    impl_->interval = intervalMs;
    impl_->owner->timers[impl_->id] = impl_.get();
    SetEnabled(enabled);
}

Timer::~Timer() {
    if (impl_->owner != nullptr) {
        KillTimer(impl_->owner->hwnd, impl_->id);
        impl_->owner->timers.erase(impl_->id);
    }
}

bool Timer::Enabled() const {
    return impl_->enabled;
}

void Timer::SetEnabled(bool enabled) {
    if (impl_->owner == nullptr || enabled == impl_->enabled) {
        return;
    }
    impl_->enabled = enabled;
    if (enabled) {
        SetTimer(impl_->owner->hwnd, impl_->id, impl_->interval, nullptr);
    } else {
        KillTimer(impl_->owner->hwnd, impl_->id);
    }
}

unsigned Timer::Interval() const {
    return impl_->interval;
}
void Timer::OnTimer(std::function<void()> handler) {
    impl_->onTimer = std::move(handler);
}

namespace {

void CentreOnScreen(HWND hwnd) {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT r{};
    GetWindowRect(hwnd, &r);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    SetWindowPos(hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Dispatch(MSG& message) {
    if (g_main != nullptr && IsDialogMessageA(g_main->hwnd, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

HWND Owner() {
    return g_main != nullptr ? g_main->hwnd : nullptr;
}

} // namespace

void RunMessageLoop(Window& window) {
    HWND hwnd = window.impl().hwnd;
    CentreOnScreen(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG message{};
    while (!g_terminated) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            g_terminated = true;
            break;
        }
        Dispatch(message);
    }
}

void ProcessMessages() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            g_terminated = true;
            break;
        }
        Dispatch(message);
    }
}

void MinimiseApplication() {
    if (g_main != nullptr) {
        ShowWindow(g_main->hwnd, SW_MINIMIZE);
    }
}

void TerminateApplication() {
    g_terminated = true;
    PostQuitMessage(0);
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned buttons) {
    return MessageBoxA(Owner(), text.c_str(), caption.c_str(), buttons | MB_APPLMODAL);
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
    MessageBoxA(Owner(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_APPLMODAL);
}

} // namespace platform
