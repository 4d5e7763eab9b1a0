#include "KeyAccess.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace publish {

Status MakeOwnerOnly(const std::string& file) {
    if (chmod(file.c_str(), S_IRUSR | S_IWUSR) != 0) {
        return IoFailure("cannot make \"" + file +
                         "\" private to its owner: " + std::strerror(errno));
    }
    return Done{};
}

Result<std::optional<std::string>> OthersWhoMayRead(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return IoFailure("cannot read the permissions of \"" + file +
                         "\": " + std::strerror(errno));
    }
    // As ssh does: any access for the group or others is too much for a private key.
    const unsigned others = static_cast<unsigned>(info.st_mode) & 077u;
    if (others == 0) {
        return std::optional<std::string>();
    }
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(info.st_mode) & 07777u);
    const bool group = (others & 070u) != 0;
    const bool world = (others & 007u) != 0;
    return std::optional<std::string>(std::string("mode ") + mode + ": " +
                                      (group && world ? "its group and every user"
                                       : group        ? "its group"
                                                      : "every user"));
}

} // namespace publish
