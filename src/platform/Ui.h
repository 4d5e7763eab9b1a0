// The window toolkit: one main window, its controls, message boxes and the message pump.
#pragma once

#include "GridCells.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

constexpr unsigned MbOk = 0x0;
constexpr unsigned MbOkCancel = 0x1;
constexpr unsigned MbIconError = 0x10;
constexpr int IdOk = 1;
constexpr int IdCancel = 2;

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

enum class FontKind {
    Window,     // "MS Sans Serif", 11 pixels, regular
    StatusBold, // same face, 16 pixels, bold
    LargeButton // same face, 16 pixels, regular
};

// The application's one main window.
class Window {
public:
    Window(const std::string& title, int clientWidth, int clientHeight);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    std::string Title() const;
    Rect ClientArea() const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

enum class ControlKind { Label, EditBox, Button, CheckBox };

struct ControlSpec {
    ControlKind kind = ControlKind::Label;
    std::string text;
    Rect bounds;
    int tabOrder = -1; // -1: not in the tab order
    FontKind font = FontKind::Window;
    bool enabled = true;
    bool visible = true;
    bool readOnly = false;
    bool checked = false;
    bool autoSize = false; // the width follows the text
};

// A label, edit box, button or check box of the main window.
class Control {
public:
    Control(Window& owner, const ControlSpec& layout);
    ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    std::string Text() const;
    void SetText(const std::string& text);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);
    bool Checked() const;
    void SetChecked(bool checked);

    // Bound to a button's or check box's click; a check box has toggled itself before.
    void OnClick(std::function<void()> handler);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

struct GridSpec {
    int columns = 1;
    int defaultColumnWidth = 64;
    Rect bounds;
    int tabOrder = -1;
};

// A grid of text cells, used as a list. The cells live here; the control shows them.
class Grid {
public:
    Grid(Window& owner, const GridSpec& layout);
    ~Grid();
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    int ColCount() const { return cells_.ColCount(); }
    int RowCount() const { return cells_.RowCount(); }
    void SetRowCount(int rows);
    const std::string& Cell(int column, int row) const { return cells_.Cell(column, row); }
    void SetCell(int column, int row, std::string text) {
        cells_.SetCell(column, row, std::move(text));
    }
    // Empties every cell, then leaves one row.
    void Clear();
    // Appends a value in column 0; reuses the last row while its first cell is empty.
    void Append(std::string value);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    void RowCountChanged();

    GridCells cells_;
    std::unique_ptr<Impl> impl_;
};

// A timer without visual presence; ticks every interval while enabled.
class Timer {
public:
    Timer(Window& owner, unsigned intervalMs, bool enabled);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool Enabled() const;
    void SetEnabled(bool enabled);
    unsigned Interval() const;
    void OnTimer(std::function<void()> handler);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Shows the window centred, then dispatches messages until it is closed or the
// application is asked to terminate.
void RunMessageLoop(Window& window);

// Handles every message waiting in the queue, then returns; never waits.
void ProcessMessages();

void MinimiseApplication();
// The message loop ends once the running handler returns.
void TerminateApplication();

// A modal box owned by the application, without icon. Gives the button pressed.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned buttons);

// The display of an error that escaped a handler: stop icon, OK button.
void ShowErrorBox(const std::string& text, const std::string& caption);

} // namespace platform
