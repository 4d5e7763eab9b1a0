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
// A release whose signing key the key statements do not lead to: kNotTrusted + why +
// kNothingInstalled.
constexpr const char* kNotTrusted =
    "The release on the update server is not one this updater can trust: ";
constexpr const char* kSignedWithKey = "it is signed with key ";
constexpr const char* kTakesOnlyKey = ", and this updater takes releases signed with key ";
constexpr const char* kOnly = " only";
constexpr const char* kCouldNotBeFetched = " could not be fetched";
constexpr const char* kBeyondOneRun = "it rests on key statement ";
constexpr const char* kBeyondTheFirst = ", beyond the ";
constexpr const char* kNextRunGoesOn = " one run takes; the next run goes on from statement ";
constexpr const char* kStatementDamaged = " is damaged or too long";
constexpr const char* kStatementOtherNumber = " carries another number";
constexpr const char* kStatementNotVouched =
    " is not signed by a key this updater trusts for key statements";
constexpr const char* kStatementNotAccepted = " is not signed by the key it names";
constexpr const char* kKeysUnreadable =
    "The signing key in place could not be read from PelmoraUpdaterKeys.txt, so no release "
    "can be checked against it.\nNothing was installed. Please try again later or contact "
    "Tarnell.";
constexpr const char* kKeysNotKept =
    "The key statement offered could not be recorded in PelmoraUpdaterKeys.txt.\nNothing was "
    "installed. Please try again later or contact Tarnell.";
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
