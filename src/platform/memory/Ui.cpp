// The window toolkit of the in-memory machine: controls keep their state here, message
// boxes are recorded and answered by the test's script, pumps run the script's actions.
#include "../Ui.h"

#include "Machine.h"

#include <stdexcept>

#include <algorithm>

namespace platform {

using memory::Op;
using memory::TheMachine;

struct Window::Impl {
    std::string title;
    Rect client;
};

namespace {
// A window or control the system cannot make raises an error in the system's words.
void CreateWindowOrThrow(const std::string& text) {
    if (TheMachine().Enter(Op::CreateWindow, text)) {
        throw std::runtime_error(
            "Not enough memory resources are available to process this command");
    }
}
} // namespace

Window::Window(const std::string& title, int clientWidth, int clientHeight)
    : impl_(std::make_unique<Impl>()) {
    CreateWindowOrThrow(title);
    impl_->title = title;
    impl_->client = Rect{0, 0, clientWidth, clientHeight};
}

Window::~Window() = default;

std::string Window::Title() const {
    return impl_->title;
}
Rect Window::ClientArea() const {
    return impl_->client;
}

struct Control::Impl {
    ControlSpec layout;
    std::function<void()> onClick;
};

Control::Control(Window&, const ControlSpec& layout) : impl_(std::make_unique<Impl>()) {
    CreateWindowOrThrow(layout.text);
    impl_->layout = layout;
}

Control::~Control() = default;

std::string Control::Text() const {
    return impl_->layout.text;
}
void Control::SetText(const std::string& text) {
    impl_->layout.text = text;
}
bool Control::Enabled() const {
    return impl_->layout.enabled;
}
void Control::SetEnabled(bool enabled) {
    impl_->layout.enabled = enabled;
}
bool Control::Visible() const {
    return impl_->layout.visible;
}
void Control::SetVisible(bool visible) {
    impl_->layout.visible = visible;
}
bool Control::Checked() const {
    return impl_->layout.checked;
}
void Control::SetChecked(bool checked) {
    impl_->layout.checked = checked;
}
void Control::OnClick(std::function<void()> handler) {
    impl_->onClick = std::move(handler);
}

struct Grid::Impl {};

Grid::Grid(Window&, const GridSpec& layout)
    : cells_(layout.columns), impl_(std::make_unique<Impl>()) {
    CreateWindowOrThrow("grid");
}
Grid::~Grid() = default;
void Grid::RowCountChanged() {}

struct Timer::Impl {
    unsigned interval = 0;
    bool enabled = false;
    std::uint64_t due = 0;
    std::function<void()> onTimer;
};

Timer::Timer(Window&, unsigned intervalMs, bool enabled) : impl_(std::make_unique<Impl>()) {
    impl_->interval = intervalMs;
    SetEnabled(enabled);
    TheMachine().process.timers.push_back(impl_.get());
}

Timer::~Timer() {
    auto& timers = TheMachine().process.timers;
    timers.erase(std::remove(timers.begin(), timers.end(), impl_.get()), timers.end());
}

bool Timer::Enabled() const {
    return impl_->enabled;
}
// A timer the system cannot set never ticks.
void Timer::SetEnabled(bool enabled) {
    if (enabled && !impl_->enabled) {
        if (TheMachine().Enter(Op::SetTimer)) {
            return;
        }
        impl_->due = TheMachine().world.tickMs + impl_->interval;
    }
    impl_->enabled = enabled;
}
unsigned Timer::Interval() const {
    return impl_->interval;
}
void Timer::OnTimer(std::function<void()> handler) {
    impl_->onTimer = std::move(handler);
}

namespace {

// The earliest enabled timer, or null.
Timer::Impl* NextTimer() {
    Timer::Impl* next = nullptr;
    for (void* t : TheMachine().process.timers) {
        auto* timer = static_cast<Timer::Impl*>(t);
        if (timer->enabled && (next == nullptr || timer->due < next->due)) {
            next = timer;
        }
    }
    return next;
}

void Fire(Timer::Impl& timer) {
    timer.due += timer.interval;
    if (timer.onTimer) {
        timer.onTimer();
    }
}

} // namespace

void ProcessMessages() {
    auto& m = TheMachine();
    int pump = ++m.process.pumps;
    auto range = m.process.pumpActions.equal_range(pump);
    std::vector<std::function<void()>> actions;
    for (auto it = range.first; it != range.second; ++it) {
        actions.push_back(it->second);
    }
    m.process.pumpActions.erase(range.first, range.second);
    for (auto& action : actions) {
        action();
    }
    memory::DeliverTransfers();
}

// The loop runs the clock forward to each tick in turn; when nothing is left to happen the
// operator is taken to close the window. A message that cannot be got ends the loop.
void RunMessageLoop(Window&) {
    auto& m = TheMachine();
    while (!m.process.terminated) {
        Timer::Impl* timer = NextTimer();
        if (timer == nullptr || m.Enter(Op::GetMessage)) {
            break;
        }
        m.world.tickMs = std::max(m.world.tickMs, timer->due);
        Fire(*timer);
    }
}

void MinimiseApplication() {
    TheMachine().process.minimised = true;
}
void TerminateApplication() {
    TheMachine().process.terminated = true;
}

namespace {

// A box that cannot be shown (or a process that has ended) shows nothing and gives 0.
int Show(const memory::MessageBoxRecord& box) {
    auto& m = TheMachine();
    if (m.Enter(Op::MessageBox, box.text)) {
        return 0;
    }
    m.process.boxes.push_back(box);
    return m.process.onMessageBox ? m.process.onMessageBox(m.process.boxes.back()) : IdOk;
}

} // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned buttons) {
    return Show(memory::MessageBoxRecord{text, caption, buttons, false});
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
    Show(memory::MessageBoxRecord{text, caption, MbOk | MbIconError, true});
}

namespace memory {

void Click(Control& control) {
    auto& impl = control.impl();
    if (!impl.layout.enabled) {
        return;
    }
    if (impl.layout.kind == ControlKind::CheckBox) {
        impl.layout.checked = !impl.layout.checked;
    }
    if (impl.onClick) {
        impl.onClick();
    }
}

void AdvanceClock(unsigned milliseconds) {
    auto& m = TheMachine();
    std::uint64_t end = m.world.tickMs + milliseconds;
    while (Timer::Impl* timer = NextTimer()) {
        if (timer->due > end) {
            break;
        }
        m.world.tickMs = timer->due;
        Fire(*timer);
    }
    m.world.tickMs = end;
}

} // namespace memory

} // namespace platform
