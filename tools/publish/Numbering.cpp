#include "Numbering.h"

#include "Dates.h"
#include "Files.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

// Up to 100 years ahead: the date stays a four-digit year.
constexpr long long kMaxExpiryDays = 36500;

// The number of a signature file, or nothing with the reason.
std::optional<std::uint32_t> NumberOf(const std::string& sigFile, std::string& why) {
    if (!Exists(sigFile)) {
        why = "there is no \"" + sigFile + "\"";
        return std::nullopt;
    }
    auto text = ReadFile(sigFile, release::kMaxSignatureFileSize, why);
    auto file = text ? release::ParseSignatureFile(*text) : std::nullopt;
    if (text && !file) {
        why = "\"" + sigFile + "\" is damaged";
    }
    return file ? std::optional<std::uint32_t>(file->release) : std::nullopt;
}

} // namespace

std::optional<std::uint32_t> GivenRelease(const std::string& text, std::string& problem) {
    bool digits = !text.empty() && text.size() <= 9 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    auto value = digits ? std::stoul(text) : 0ul;
    if (value == 0) {
        problem = "--release takes a number from 1 to " +
                  std::to_string(release::kMaxReleaseNumber) + ", not \"" + text + "\"";
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

Decision NextRelease(const std::optional<std::string>& previousList,
                     const std::string& outputSignature,
                     const std::optional<std::uint32_t>& wanted) {
    Decision d;
    std::string why;
    std::optional<std::uint32_t> previous;
    if (previousList) {
        previous = NumberOf(*previousList + ".sig", why);
        if (!previous && !wanted) {
            d.problem = "the previous list \"" + *previousList +
                        "\" is known but its release number is not (" + why +
                        "): give --release N, above the last release published";
            return d;
        }
    }
    // The signature about to be replaced may name a higher number still.
    std::string ignored;
    std::optional<std::uint32_t> replaced = NumberOf(outputSignature, ignored);
    std::string highestFile = previousList ? *previousList + ".sig" : outputSignature;
    if (replaced && (!previous || *replaced > *previous)) {
        previous = replaced;
        highestFile = outputSignature;
    }
    if (!previous) {
        d.number = wanted.value_or(1);
    } else if (wanted && *wanted <= *previous) {
        d.problem = "--release " + std::to_string(*wanted) + " is not above release " +
                    std::to_string(*previous) + " of \"" + highestFile +
                    "\": release numbers only go up";
    } else if (!wanted && *previous >= release::kMaxReleaseNumber) {
        d.problem = "the release numbers are used up";
    } else {
        d.number = wanted.value_or(*previous + 1);
    }
    return d;
}

std::optional<std::string> ExpiryDate(const std::string& given, const std::string& today,
                                      std::string& problem) {
    if (release::ValidDate(given)) {
        if (given < today) {
            problem = "--expires " + given + " lies in the past (today is " + today + ")";
            return std::nullopt;
        }
        return given;
    }
    const bool digits = !given.empty() && given.size() <= 5 &&
                        given.find_first_not_of("0123456789") == std::string::npos;
    const long long days = digits ? std::stoll(given) : 0;
    if (days < 1 || days > kMaxExpiryDays) {
        problem = "--expires takes a number of days from 1 to " + std::to_string(kMaxExpiryDays) +
                  " or a date YYYY-MM-DD, not \"" + given + "\"";
        return std::nullopt;
    }
    return DaysAfter(today, days);
}

} // namespace publish
