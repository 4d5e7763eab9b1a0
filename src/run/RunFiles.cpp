// The shared documents folder.
#include "../platform/System.h"
#include "Run.h"

std::string DocumentsRoot() {
    const char* variable = platform::OsMajorVersion() >= 6 ? "PUBLIC" : "ALLUSERSPROFILE";
    return platform::EnvironmentVariable(variable).value_or("") + "\\";
}
