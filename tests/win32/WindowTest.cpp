// The real window under Windows: its frame, every control, message boxes.
#include "MessageBoxWatcher.h"
#include "TestSettings.h"
#include "app/ExceptionDisplay.h"
#include "app/Main.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <stdexcept>

namespace {

struct ExpectedControl {
    int id;
    const char* cls;
    const char* text;
    int left, top, width, height;
    bool visible, enabled;
    int tabOrder;
};

HWND MainWindow() {
    return FindWindowA("TFORM_MAIN", "Quorvel");
}

// A control of the main window by its caption.
HWND ControlByCaption(const char* caption) {
    return FindWindowExA(MainWindow(), nullptr, nullptr, caption);
}

// Ids of the controls without a caption: the window numbers its controls from 100 in the
// order it makes them.
constexpr int kPelmoraPathId = 109;
constexpr int kExeNameId = 110;
constexpr int kFileListGridId = 113;
constexpr int kMinVersionId = 117;

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        children.push_back(c);
    }
    return children;
}

int TextWidth(HWND control) {
    HDC dc = GetDC(control);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    std::string text = WindowText(control);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return size.cx;
}

class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("HOMEDRIVE", "C:");
        SetEnvironmentVariableA("HOMEPATH", "\\users\\tester");
        form_ = std::make_unique<TFORM_MAIN>();
        form_->AutoTimer.SetEnabled(false); // these tests drive the window themselves
    }
    void TearDown() override { form_.reset(); }
    std::unique_ptr<TFORM_MAIN> form_;
};

TEST_F(RealWindow, ClientAreaTitleAndFrame) {
    HWND hwnd = MainWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right - client.left, 524);
    EXPECT_EQ(client.bottom - client.top, 60);
    EXPECT_EQ(WindowText(hwnd), "Quorvel");
    LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND)),
              reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
}

TEST_F(RealWindow, EveryControlWithCaptionPlaceStateAndTabOrder) {
    const std::string url = testing_support::kBase;
    const ExpectedControl expected[] = {
        {100, "Static", "File Path:", 24, 408, 44, 13, true, true, -1},
        {101, "Static", "URL Path:", 24, 472, 50, 13, true, true, -1},
        {102, "Static", "Looking For:", 24, 368, 59, 13, true, true, -1},
        {103, "Static", "Downloading Please Wait...", 4, 2, -1, 20, false, true, -1},
        {104, "Static", "Name", 4, 26, -1, 20, false, true, -1},
        {105, "Static", "Min Version:", 80, 544, 58, 13, true, true, -1},
        {106, "Static", "Max Version:", 256, 544, 61, 13, true, true, -1},
        {107, "Button", "Check Local Path", 648, 392, 121, 25, true, false, 0},
        {108, "SysListView32", "", 840, 400, 209, 241, true, true, 1},
        {kPelmoraPathId, "Edit", "C:\\users\\tester\\Desktop\\Tarnell Temp Files\\", 24, 424, 409,
         21, true, false, 2},
        {kExeNameId, "Edit", "", 24, 384, 121, 21, true, false, 3},
        {111, "Edit", url.c_str(), 24, 488, 409, 21, true, false, 4},
        {112, "Button", "Download Files", 576, 440, 137, 33, true, true, 5},
        {kFileListGridId, "SysListView32", "", 1128, 104, 209, 233, true, true, 6},
        {114, "SysListView32", "", 1120, 400, 209, 233, true, true, 7},
        {115, "Button", "Force Update", 656, 312, 97, 17, true, true, 8},
        {116, "Button", "Manual Update", 656, 336, 97, 17, true, true, 9},
        {kMinVersionId, "Edit", "0", 80, 560, 121, 21, true, true, 10},
        {118, "Edit", "0", 256, 560, 121, 21, true, true, 11},
    };
    std::vector<HWND> children = Children(MainWindow());
    ASSERT_EQ(children.size(), std::size(expected));
    int lastTab = -1;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& e = expected[i];
        HWND c = GetDlgItem(MainWindow(), e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c, children[i]) << e.text << ": controls stand in the window in this order";
        char cls[64] = {};
        GetClassNameA(c, cls, sizeof(cls));
        EXPECT_STREQ(cls, e.cls) << i;
        EXPECT_EQ(WindowText(c), e.text) << i;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, MainWindow(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, e.left) << e.text;
        EXPECT_EQ(r.top, e.top) << e.text;
        if (e.width >= 0) {
            EXPECT_EQ(r.right - r.left, e.width) << e.text;
        } else {
            EXPECT_GE(r.right - r.left, TextWidth(c)) << "a status label shows its whole text";
        }
        EXPECT_EQ(r.bottom - r.top, e.height) << e.text;
        LONG_PTR style = GetWindowLongPtrA(c, GWL_STYLE);
        EXPECT_EQ((style & WS_VISIBLE) != 0, e.visible) << e.text;
        EXPECT_EQ((style & WS_DISABLED) == 0, e.enabled) << e.text;
        EXPECT_EQ((style & WS_TABSTOP) != 0, e.tabOrder >= 0) << e.text;
        if (e.tabOrder >= 0) {
            EXPECT_EQ(e.tabOrder, lastTab + 1) << "tab stops follow the window order";
            lastTab = e.tabOrder;
        }
    }
    // Check boxes and their states.
    EXPECT_EQ(SendMessageA(ControlByCaption("Manual Update"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(ControlByCaption("Force Update"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    HWND main = MainWindow();
    EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(main, kPelmoraPathId), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(GetWindowLongPtrA(GetDlgItem(main, kExeNameId), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(main, kMinVersionId), GWL_STYLE) & ES_READONLY);
}

TEST_F(RealWindow, ControlsOutsideTheClientAreaStayOutOfSight) {
    RECT client{};
    GetClientRect(MainWindow(), &client);
    HWND statusLabels[] = {ControlByCaption("Downloading Please Wait..."),
                           ControlByCaption("Name")};
    for (HWND c : Children(MainWindow())) {
        if (c == statusLabels[0] || c == statusLabels[1]) {
            continue;
        }
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, MainWindow(), reinterpret_cast<POINT*>(&r), 2);
        RECT overlap{};
        EXPECT_FALSE(IntersectRect(&overlap, &r, &client)) << WindowText(c);
    }
}

TEST_F(RealWindow, ClickOnTheModeCheckBoxRunsItsHandler) {
    HWND manual = ControlByCaption("Manual Update");
    SendMessageA(manual, BM_CLICK, 0, 0);
    EXPECT_FALSE(form_->ManualUpdate.Checked());
    EXPECT_EQ(form_->PelmoraPath.Text(), "");
    EXPECT_TRUE(form_->CheckPathButton.Enabled());
    EXPECT_FALSE(form_->UpdateSoftwareButton.Enabled());
    SendMessageA(manual, BM_CLICK, 0, 0);
    EXPECT_EQ(form_->PelmoraPath.Text(), "C:\\users\\tester\\Desktop\\Pelmora Updater Files\\");
}

TEST_F(RealWindow, MessageBoxIsFoundReadAndAnswered) {
    MessageBoxWatcher watcher([](const SeenBox& box) { return box.hasCancel ? IDCANCEL : IDOK; });
    int answer = ShowMessageBox("Line one\nLine two", "File Error", platform::MbOkCancel);
    EXPECT_EQ(answer, IDCANCEL);
    answer = ShowMessageBox("1 Files Have been updated", "", platform::MbOk);
    EXPECT_EQ(answer, IDOK);
    std::vector<SeenBox> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, "File Error");
    EXPECT_EQ(seen[0].text, "Line one\nLine two");
    EXPECT_TRUE(seen[0].hasCancel);
    EXPECT_EQ(seen[1].caption, "");
    EXPECT_EQ(seen[1].text, "1 Files Have been updated");
}

TEST_F(RealWindow, ErrorInAHandlerIsShownAndTheWindowStaysUsable) {
    MessageBoxWatcher watcher(nullptr);
    form_->CheckPathButton.SetEnabled(true);
    form_->CheckPathButton.OnClick(Guarded([] { throw std::runtime_error("Disk full"); }));
    SendMessageA(ControlByCaption("Check Local Path"), BM_CLICK, 0, 0);
    std::vector<SeenBox> seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "Quorvel");
    EXPECT_EQ(seen[0].text, "Disk full.");
    EXPECT_TRUE(IsWindow(MainWindow()));
}

TEST_F(RealWindow, GridShowsItsCellsThroughTheListView) {
    form_->FileListGrid.Append("a/b.dll");
    form_->FileListGrid.SetCell(1, 0, "2011-05-02");
    form_->FileListGrid.Append("c.exe");
    ProcessMessages();
    HWND list = GetDlgItem(MainWindow(), kFileListGridId);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 2);
    char text[64] = {};
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "2011-05-02");
}

TEST(WindowErrors, AControlThatCannotBeMadeRaisesTheSystemsReason) {
    platform::Window window("Quorvel without a frame", 120, 40);
    HWND frame = FindWindowA("TFORM_MAIN", "Quorvel without a frame");
    ASSERT_NE(frame, nullptr);
    DestroyWindow(frame);
    platform::ControlSpec label;
    label.kind = platform::ControlKind::Label;
    label.text = "orphan";
    try {
        platform::Control control(window, label);
        FAIL() << "a control without its window was taken as made";
    } catch (const std::runtime_error& error) {
        std::string reason = error.what();
        EXPECT_NE(reason.find("window handle"), std::string::npos) << reason;
    }
}

} // namespace
