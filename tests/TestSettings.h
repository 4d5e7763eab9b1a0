// What the tests share: the settings the logic under test is built with, and the folders of
// the operator's machine they set up.
#pragma once

#include "app/Settings.h"
#include "release/Names.h"

#include <string>

namespace testing_support {

// The folder of the update server that the tested logic fetches from.
inline const std::string kBase =
    std::string("http://") + settings::kUpdateHost + release::kUpdateBasePath;
// The operator's desktop, from the HOMEDRIVE and HOMEPATH the machine tests set.
inline const std::string kDesktop = "C:\\Users\\op\\Desktop\\";
// The installation an update run works on.
inline const std::string kInstall = "C:\\Program Files\\Tarnell\\Pelmora 4.1.2\\";

// A path with "/" written as Windows writes it.
inline std::string Windows(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

} // namespace testing_support
