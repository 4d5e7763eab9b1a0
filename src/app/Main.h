// The main window: every control of the program, which hold its settings and its lists,
// and the handlers bound to them.
#pragma once

#include "../platform/Ui.h"
#include "RandomGenerator.h"

#include <string>

class TFORM_MAIN {
public:
    TFORM_MAIN();
    ~TFORM_MAIN();

    // Members stand in the order the window creates them; the window comes first.
    platform::Window Window;
    platform::Control Label1;
    platform::Control Label2;
    platform::Control Label3;
    platform::Control DownloadLabel;
    platform::Control ShowFileName;
    platform::Control Label4;
    platform::Control Label5;
    platform::Control CheckPathButton;
    platform::Grid SearchDataGrid;
    platform::Control PelmoraPath;
    platform::Control ExeName;
    platform::Control URLPath;
    platform::Control UpdateSoftwareButton;
    platform::Grid FileListGrid;
    platform::Grid LocalFileListGrid;
    platform::Control ForceUpdate;
    platform::Control ManualUpdate;
    platform::Control Min_Version;
    platform::Control Max_Version;
    platform::Timer AutoTimer;

    RandomGenerator Random;

    // Event handlers.
    void CheckPathButtonClick();
    void UpdateSoftwareButtonClick();
    void ManualUpdateClick();
    void AutoTimerTimer();

    // Locks the controls during a run, or unlocks them, then lets the window catch up.
    void SetControlsEnabled(bool enable);

private:
    void ApplyStartupDefaults();
    void BindHandlers();
};

// The one instance, alive from start-up to exit.
extern TFORM_MAIN* FORM_MAIN;

// The update base URL for a server host.
std::string UpdateBaseUrl(const std::string& host);

// Builds the window, runs the message loop; 0 whatever happened.
int RunProgram();

void ProcessMessages();
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned buttons);
