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
// A genuine release that may not replace the one in place: "The update server offered " +
// what it offered + why that may be + kNothingInstalled.
constexpr const char* kServerOffered = "The update server offered ";
constexpr const char* kOutOfDateOrTampered =
    ", so the server may be out of date or the connection tampered with";
constexpr const char* kTampered = ", so the connection may have been tampered with";
constexpr const char* kKeptUnreadable =
    "The number of the release in place could not be read from PelmoraUpdaterRelease.sig, so "
    "no release can be checked against it.\nNothing was installed. Please try again later or "
    "contact Tarnell.";
constexpr const char* kReleaseNotKept =
    "The number of the release offered could not be recorded in PelmoraUpdaterRelease.sig.\n"
    "Nothing was installed. Please try again later or contact Tarnell.";
constexpr const char* kNoContentHash =
    "\nThe update list gives no content hash for this file, so it cannot be checked.\nNothing "
    "was downloaded for it.";
constexpr const char* kFileNotSigned =
    "\nThe downloaded file is not the one the release signed by Tarnell names.\nIt was not "
    "installed.";
constexpr const char* kLauncherNotSigned =
    "AppLaunch.exe is not the launcher of the release signed by Tarnell.\nIt was not started.";

} // namespace msg
