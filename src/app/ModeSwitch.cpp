// The mode check box, the start-up timer and the locking of the controls during a run.
#include "Main.h"

#include "../files/ProgramFiles.h"

void TFORM_MAIN::SetControlsEnabled(bool enable) {
    if (enable) {
        if (!ManualUpdate.Checked()) {
            CheckPathButton.SetEnabled(true);
            ForceUpdate.SetEnabled(true);
        }
        UpdateSoftwareButton.SetEnabled(true);
    } else {
        CheckPathButton.SetEnabled(false);
        UpdateSoftwareButton.SetEnabled(false);
        ForceUpdate.SetEnabled(false);
    }
    ProcessMessages();
}

void TFORM_MAIN::ManualUpdateClick() {
    if (ManualUpdate.Checked()) {
        ForceUpdate.SetEnabled(false);
        CheckPathButton.SetEnabled(false);
        UpdateSoftwareButton.SetEnabled(true);
        ForceUpdate.SetChecked(false);
        PelmoraPath.SetText(DesktopFolder(kManualFolderTail));
    } else {
        ForceUpdate.SetEnabled(true);
        CheckPathButton.SetEnabled(true);
        UpdateSoftwareButton.SetEnabled(false);
        PelmoraPath.SetText("");
    }
}

void TFORM_MAIN::AutoTimerTimer() {
    AutoTimer.SetEnabled(false);
    UpdateSoftwareButtonClick();
}
