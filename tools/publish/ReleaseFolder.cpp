#include "ReleaseFolder.h"

#include "Dates.h"
#include "Files.h"
#include "Glob.h"
#include "History.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace publish {

namespace {

// Whether path lies within folder or is folder itself (both canonical).
bool Within(const fs::path& path, const fs::path& folder) {
    fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

class Walker {
public:
    Walker(const std::string& folder, const WalkRules& rules) : folder_(folder), rules_(rules) {}

    ReleaseFiles Run() {
        std::error_code ec;
        fs::path root = fs::canonical(fs::path(folder_), ec);
        if (ec || !fs::is_directory(root, ec)) {
            files_.refused.push_back("\"" + folder_ + "\" is not a folder");
            return files_;
        }
        root_ = root;
        visiting_.push_back(root);
        Walk(fs::path(folder_), std::string());
        return files_;
    }

private:
    void Refuse(const std::string& path, const std::string& why) {
        files_.refused.push_back("\"" + path + "\": " + why);
    }

    std::optional<std::string> SkipReason(const std::string& name, const std::string& path) {
        if (name[0] == '.') {
            return std::string("its name begins with \".\"");
        }
        for (const auto& pattern : rules_.excludes) {
            if (Excluded(pattern, path, rules_.page)) {
                return "--exclude " + pattern;
            }
        }
        return std::nullopt;
    }

    void Walk(const fs::path& dir, const std::string& prefix) {
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            entries.push_back(*it);
        }
        if (ec) {
            Refuse(prefix.empty() ? folder_ : prefix, "cannot be listed: " + ec.message());
            return;
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            std::string name;
            try {
                name = entry.path().filename().string();
            } catch (const std::exception&) {
                Refuse(prefix + "?", "a name the system cannot write in its code page");
                continue;
            }
            Visit(entry, prefix + name, name);
        }
    }

    void Visit(const fs::directory_entry& entry, const std::string& path, const std::string& name) {
        if (std::find(rules_.outputs.begin(), rules_.outputs.end(), path) != rules_.outputs.end()) {
            return;
        }
        std::error_code ec;
        const bool link = entry.is_symlink(ec);
        fs::file_status status = entry.status(ec);
        if (auto why = SkipReason(name, path)) {
            files_.skipped.push_back({path + (fs::is_directory(status) ? "/" : ""), *why});
            return;
        }
        fs::path target;
        if (link) {
            target = fs::canonical(entry.path(), ec);
            if (ec) {
                Refuse(path, "a symbolic link that leads nowhere (" + ec.message() + ")");
                return;
            }
            if (!Within(target, root_)) {
                Refuse(path, "a symbolic link that leads outside the release, to \"" +
                                 target.string() + "\"");
                return;
            }
        }
        if (fs::is_directory(status)) {
            if (link && std::any_of(visiting_.begin(), visiting_.end(),
                                    [&](const fs::path& d) { return d == target; })) {
                Refuse(path, "a symbolic link to a folder that holds it: it would list "
                             "itself for ever");
                return;
            }
            visiting_.push_back(link ? target : fs::canonical(entry.path(), ec));
            Walk(entry.path(), path + "/");
            visiting_.pop_back();
        } else if (fs::is_regular_file(status)) {
            files_.paths.push_back(path);
        } else {
            Refuse(path, "neither a file nor a folder (a device, pipe or socket)");
        }
    }

    std::string folder_;
    const WalkRules& rules_;
    fs::path root_;
    std::vector<fs::path> visiting_; // the real folders on the way to the one walked
    ReleaseFiles files_;
};

} // namespace

ReleaseFiles WalkRelease(const std::string& folder, const WalkRules& rules) {
    return Walker(folder, rules).Run();
}

namespace {

struct Seen {
    std::uintmax_t size = 0;
    fs::file_time_type changed;
    bool operator==(const Seen& other) const {
        return size == other.size && changed == other.changed;
    }
};

std::optional<Seen> SeenNow(const fs::path& file) {
    std::error_code sizeError;
    std::error_code timeError;
    Seen seen{fs::file_size(file, sizeError), fs::last_write_time(file, timeError)};
    if (sizeError || timeError) {
        return std::nullopt;
    }
    return seen;
}

} // namespace

Result<FoundFile> Examine(const std::string& folder, const std::string& path,
                          HashProgress* progress) {
    const std::string file = Join(folder, path);
    const auto before = SeenNow(fs::path(file));
    errno = 0;
    std::ifstream in(fs::path(file), std::ios::binary);
    if (!before || !in) {
        return IoFailure("cannot be opened: " + std::string(std::strerror(errno)));
    }
    FoundFile found{path, DateOf(file)};
    platform::Sha256 hash;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (found.size == 0) {
            const std::string head(buffer.data(), got);
            found.privateKey = release::BeginsAsKeyFile(head);
            found.history = BeginsAsHistory(head);
        }
        hash.Update(buffer.data(), got);
        found.size += got;
        if (progress != nullptr) {
            progress->Hashed(path, found.size);
        }
    }
    auto digest = in.bad() ? std::nullopt : hash.Finish();
    if (!digest) {
        return IoFailure("cannot be read whole: " + std::string(std::strerror(errno)));
    }
    const auto after = SeenNow(fs::path(file));
    if (!after || !(*after == *before) || after->size != found.size) {
        return Refusal("changed while it was read (its size or modification time is not what "
                       "it was), so its hash may be of no content it ever had: publish again "
                       "once nothing writes to the release");
    }
    found.digest = *digest;
    return found;
}

} // namespace publish
