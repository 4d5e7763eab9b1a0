// Window construction: the controls as the window lays them out, and the start-up defaults.
#include "Main.h"

#include "../discovery/Versions.h"
#include "../files/ProgramFiles.h"
#include "../platform/Clock.h"
#include "../platform/System.h"
#include "../release/Names.h"
#include "ExceptionDisplay.h"
#include "Messages.h"
#include "Settings.h"

using platform::ControlKind;
using platform::ControlSpec;
using platform::FontKind;
using platform::GridSpec;
using platform::Rect;

TFORM_MAIN* FORM_MAIN = nullptr;

namespace {

ControlSpec LabelSpec(const char* text, Rect bounds) {
    ControlSpec layout;
    layout.kind = ControlKind::Label;
    layout.text = text;
    layout.bounds = bounds;
    return layout;
}

// The status labels' width follows their text, as the toolkit's labels do: where the
// system lacks the design font, the text still shows whole.
ControlSpec StatusLabelSpec(const char* text, Rect bounds, bool autoSize) {
    ControlSpec layout = LabelSpec(text, bounds);
    layout.font = FontKind::StatusBold;
    layout.visible = false;
    layout.autoSize = autoSize;
    return layout;
}

ControlSpec EditSpec(const char* text, Rect bounds, int tabOrder, bool enabled, bool readOnly) {
    ControlSpec layout;
    layout.kind = ControlKind::EditBox;
    layout.text = text;
    layout.bounds = bounds;
    layout.tabOrder = tabOrder;
    layout.enabled = enabled;
    layout.readOnly = readOnly;
    return layout;
}

ControlSpec ButtonSpec(const char* text, Rect bounds, int tabOrder, bool enabled, FontKind font) {
    ControlSpec layout;
    layout.kind = ControlKind::Button;
    layout.text = text;
    layout.bounds = bounds;
    layout.tabOrder = tabOrder;
    layout.enabled = enabled;
    layout.font = font;
    return layout;
}

ControlSpec CheckBoxSpec(const char* text, Rect bounds, int tabOrder, bool checked) {
    ControlSpec layout;
    layout.kind = ControlKind::CheckBox;
    layout.text = text;
    layout.bounds = bounds;
    layout.tabOrder = tabOrder;
    layout.checked = checked;
    return layout;
}

GridSpec GridOf(int columns, int columnWidth, Rect bounds, int tabOrder) {
    GridSpec layout;
    layout.columns = columns;
    layout.defaultColumnWidth = columnWidth;
    layout.bounds = bounds;
    layout.tabOrder = tabOrder;
    return layout;
}

} // namespace

std::string UpdateBaseUrl(const std::string& host) {
    return "http://" + host + release::kUpdateBasePath;
}

TFORM_MAIN::TFORM_MAIN()
    : Window(msg::kAppTitle, 524, 60), Label1(Window, LabelSpec("File Path:", {24, 408, 44, 13})),
      Label2(Window, LabelSpec("URL Path:", {24, 472, 50, 13})),
      Label3(Window, LabelSpec("Looking For:", {24, 368, 59, 13})),
      DownloadLabel(Window, StatusLabelSpec("Downloading Please Wait...", {4, 2, 219, 20}, true)),
      ShowFileName(Window, StatusLabelSpec("Name", {4, 26, 47, 20}, true)),
      Label4(Window, LabelSpec("Min Version:", {80, 544, 58, 13})),
      Label5(Window, LabelSpec("Max Version:", {256, 544, 61, 13})),
      CheckPathButton(
          Window, ButtonSpec("Check Local Path", {648, 392, 121, 25}, 0, false, FontKind::Window)),
      SearchDataGrid(Window, GridOf(1, 200, {840, 400, 209, 241}, 1)),
      PelmoraPath(Window, EditSpec("", {24, 424, 409, 21}, 2, false, true)),
      ExeName(Window, EditSpec(settings::kExeName, {24, 384, 121, 21}, 3, false, false)),
      URLPath(Window, EditSpec("", {24, 488, 409, 21}, 4, false, true)),
      UpdateSoftwareButton(Window, ButtonSpec("Download Files", {576, 440, 137, 33}, 5, true,
                                              FontKind::LargeButton)),
      FileListGrid(Window, GridOf(2, 100, {1128, 104, 209, 233}, 6)),
      LocalFileListGrid(Window, GridOf(2, 100, {1120, 400, 209, 233}, 7)),
      ForceUpdate(Window, CheckBoxSpec("Force Update", {656, 312, 97, 17}, 8, false)),
      ManualUpdate(Window, CheckBoxSpec("Manual Update", {656, 336, 97, 17}, 9, true)),
      Min_Version(Window, EditSpec(settings::kMinVersion, {80, 560, 121, 21}, 10, true, true)),
      Max_Version(Window, EditSpec(settings::kMaxVersion, {256, 560, 121, 21}, 11, true, true)),
      AutoTimer(Window, 100, true) {
    FORM_MAIN = this;
    BindHandlers();
    ApplyStartupDefaults();
}

TFORM_MAIN::~TFORM_MAIN() {
    if (FORM_MAIN == this) {
        FORM_MAIN = nullptr;
    }
}

void TFORM_MAIN::BindHandlers() {
    CheckPathButton.OnClick(Guarded([this] { CheckPathButtonClick(); }));
    UpdateSoftwareButton.OnClick(Guarded([this] { UpdateSoftwareButtonClick(); }));
    ManualUpdate.OnClick(Guarded([this] { ManualUpdateClick(); }));
    AutoTimer.OnTimer(Guarded([this] { AutoTimerTimer(); }));
}

void TFORM_MAIN::ApplyStartupDefaults() {
    Min_Version.SetText(std::to_string(VersionToNumber(Min_Version.Text())));
    Max_Version.SetText(std::to_string(VersionToNumber(Max_Version.Text())));
    Random.Seed(static_cast<std::uint32_t>(platform::UnixTimeSeconds()));
    PelmoraPath.SetText(DesktopFolder(kStartupFolderTail));
    URLPath.SetText(UpdateBaseUrl(settings::kUpdateHost));
}
