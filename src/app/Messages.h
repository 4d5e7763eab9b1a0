// Texts and captions of the program's message boxes.
#pragma once

namespace msg {

constexpr const char* kAppTitle = "Quorvel";

constexpr const char* kNotValidDirectory =
    " is not a valid Pelmora directory.\nPlease update the Pelmora_Mx.exe file manually.";
constexpr const char* kIncorrectVersion =
    " is an incorrect version of Pelmora.\nPlease contact Tarnell for the correct updater program.";
constexpr const char* kProductRunning = "The Pelmora application is currently running.\nPlease "
                                        "close the application before applying the update.";
constexpr const char* kTemporaryInternetFiles =
    "This application cannot operate from the temporary internet files folder.\nAvoid using the "
    "run function from the web browser. Download the file again\nand when prompted click the save "
    "option instead.";
constexpr const char* kCouldNotFindExecutable =
    "Could not find the Pelmora executable.\nPlease make sure Pelmora is installed or installed "
    "correctly.\nProgram may require manual update.";
constexpr const char* kFileOperations =
    "Can't perform one of the following file operations: Open, Seek, Read, Close.";
constexpr const char* kCouldNotFileList =
    "Could not file list. Check network connections or your PC's firewall.";
// The updater's own folder, where the list arrives, cannot take it: said before anything of
// the run is touched, never blamed on the network.
constexpr const char* kOwnFolderNotWritable =
    "\nThe updater cannot write in its own folder, where it fetches the update list.\nNothing "
    "was changed. Please run the updater from a folder you may write in.";
constexpr const char* kOwnDriveFull =
    " has less than 16 MB free: the updater cannot fetch the update list into its own folder "
    "there.\nNothing was changed. Please make room on the drive and try again.";
constexpr const char* kCouldNotMoveFileList = "Could not move file list. Please update manually.";
constexpr const char* kCouldNotCreateFolder = "\nCould not create this folder.";
constexpr const char* kRefusedFileName =
    "\nThe update list names this file in a way that cannot be installed.\nThe list may be "
    "damaged; nothing was downloaded for it.";
constexpr const char* kNamedTwice =
    "\nThe update list names this file more than once.\nThe list may be damaged; nothing was "
    "downloaded.";
constexpr const char* kDamagedList = "The update list from the server is damaged: ";
constexpr const char* kNothingChanged =
    ".\nNothing was changed. Please try again later or contact Tarnell.";
constexpr const char* kDamagedRecord =
    "\nThe record of an unfinished update in this folder is damaged: some of its lines name "
    "files outside the installation and its backup folder.\nThose lines were ignored; nothing "
    "was moved for them.";
constexpr const char* kCouldNotDownload =
    "Could not download file. Check network connections or your PC's firewall.";
constexpr const char* kCouldNotBackup = "Could not move files to the backup location.";
constexpr const char* kCouldNotRename = "Could not rename downloaded file.";
constexpr const char* kCouldNotMoveDownloaded = "Could not move downloaded file.";
constexpr const char* kCouldNotMoveMarker = "Could not move backup folder. Please update manually.";
constexpr const char* kFilesUpdated = " Files Have been updated";
constexpr const char* kNoUpdateRequired = "All Pelmora files are new. No update required.";
constexpr const char* kProductUpdated =
    "Pelmora has been updated to the latest version.\nPlease check version number in the top "
    "lefthand corner when running Pelmora.";
constexpr const char* kUpdateManually = "Please update the files manually.\nMake sure you are "
                                        "logged in as Administrator.\nContact Tarnell for help.";

constexpr const char* kAlreadyRunning =
    "The updater is already running.\nPlease wait until it has finished. This copy has changed "
    "nothing and will now close.";

constexpr const char* kError = "Error";
constexpr const char* kUpdateError = "Update Error";
constexpr const char* kDownloadError = "Download Error";
constexpr const char* kFileError = "File Error";

} // namespace msg
