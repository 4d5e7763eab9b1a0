// Texts of the protected updater's message boxes.
#pragma once

namespace msg {

constexpr const char* kListNotSigned = "The update list is not a release signed by Tarnell: ";
constexpr const char* kNothingInstalled = ".\nNothing was installed. Please contact Tarnell.";
constexpr const char* kSignatureMissing = "its signature file could not be fetched";
constexpr const char* kSignatureUnreadable = "the list or its signature could not be read";
constexpr const char* kSignatureDamaged = "its signature file is damaged";
constexpr const char* kSignatureForeign = "its signature was not made with Tarnell's key";
constexpr const char* kSignatureOtherList = "its signature belongs to another list";
constexpr const char* kNoContentHash =
    "\nThe update list gives no content hash for this file, so it cannot be checked.\nNothing "
    "was downloaded for it.";
constexpr const char* kFileNotSigned =
    "\nThe downloaded file is not the one the release signed by Tarnell names.\nIt was not "
    "installed.";
constexpr const char* kLauncherNotSigned =
    "AppLaunch.exe is not the launcher of the release signed by Tarnell.\nIt was not started.";

} // namespace msg
