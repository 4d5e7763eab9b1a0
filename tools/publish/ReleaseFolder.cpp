#include "ReleaseFolder.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace publish {

namespace {

bool ToolOutput(const std::string& path) {
    return path == release::kListName || path == release::kSignatureName ||
           path == std::string(release::kListName) + ".tmp" ||
           path == std::string(release::kSignatureName) + ".tmp";
}

// The civil date of a count of days since 1970-01-01 (proleptic Gregorian calendar).
std::string CivilDate(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    auto padded = [](long long value, std::size_t width) {
        std::string digits = std::to_string(value);
        return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
    };
    return padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
}

// The day of the file's last change, in UTC, so that both builds write the same stamp.
std::string DateOf(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return "1970-01-01";
    }
    const long long seconds = static_cast<long long>(info.st_mtime);
    return CivilDate((seconds >= 0 ? seconds : seconds - 86399) / 86400);
}

} // namespace

std::string Join(const std::string& folder, const std::string& path) {
    return (fs::path(folder) / fs::path(path)).string();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

std::optional<std::vector<std::string>> ListReleaseFiles(const std::string& folder,
                                                         std::string& problem) {
    std::error_code ec;
    if (!fs::is_directory(fs::path(folder), ec)) {
        problem = "\"" + folder + "\" is not a folder";
        return std::nullopt;
    }
    std::vector<std::string> paths;
    fs::recursive_directory_iterator it(fs::path(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) {
            continue;
        }
        std::string path = fs::relative(it->path(), fs::path(folder), ec).generic_string();
        if (!ec && !ToolOutput(path)) {
            paths.push_back(path);
        }
    }
    if (ec) {
        problem = "cannot list \"" + folder + "\": " + ec.message();
        return std::nullopt;
    }
    return paths;
}

std::optional<platform::Sha256Digest> FileDigest(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    platform::Sha256 hash;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return hash.Finish();
}

std::optional<FoundFile> Examine(const std::string& folder, const std::string& path) {
    const std::string file = Join(folder, path);
    auto digest = FileDigest(file);
    if (!digest) {
        return std::nullopt;
    }
    return FoundFile{path, DateOf(file), *digest};
}

std::optional<std::string> ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

bool WriteFileReplacing(const std::string& file, const std::string& content) {
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(fs::path(temp), ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(fs::path(temp), fs::path(file), ec);
    if (ec) {
        fs::remove(fs::path(temp), ec);
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& file, const std::string& content) {
    if (Exists(file)) {
        return false;
    }
    std::ofstream out(file, std::ios::binary);
    if (!out) {
        return false;
    }
    std::error_code ec;
    // The private key is for its owner only.
    fs::permissions(fs::path(file), fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace publish
