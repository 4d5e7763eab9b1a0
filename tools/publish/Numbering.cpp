#include "Numbering.h"

#include "Dates.h"
#include "Files.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

// Up to 100 years ahead: the date stays a four-digit year.
constexpr long long kMaxExpiryDays = 36500;

// The number of a signature file.
Result<std::uint32_t> NumberOf(const std::string& sigFile) {
    if (!Exists(sigFile)) {
        return Refusal("there is no \"" + sigFile + "\"");
    }
    auto text = ReadFile(sigFile, release::kMaxSignatureFileSize);
    if (!text) {
        return text.failure();
    }
    auto file = release::ParseSignatureFile(*text);
    if (!file) {
        return Refusal("\"" + sigFile + "\" is damaged");
    }
    return file->release;
}

std::optional<std::uint32_t> Known(const Result<std::uint32_t>& number) {
    return number ? std::optional<std::uint32_t>(*number) : std::nullopt;
}

} // namespace

Result<std::uint32_t> GivenRelease(const std::string& text) {
    bool digits = !text.empty() && text.size() <= 9 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    auto value = digits ? std::stoul(text) : 0ul;
    if (value == 0) {
        return Failure{Fault::Usage, "--release takes a number from 1 to " +
                                         std::to_string(release::kMaxReleaseNumber) + ", not \"" +
                                         text + "\""};
    }
    return static_cast<std::uint32_t>(value);
}

Result<std::uint32_t> NextRelease(const std::optional<std::string>& previousList,
                                  const std::string& outputSignature,
                                  const std::optional<std::uint32_t>& wanted) {
    std::optional<std::uint32_t> previous;
    if (previousList) {
        auto number = NumberOf(*previousList + ".sig");
        if (!number && !wanted) {
            return Refusal("the previous list \"" + *previousList +
                           "\" is known but its release number is not (" + number.problem() +
                           "): give --release N, above the last release published");
        }
        previous = Known(number);
    }
    // The signature about to be replaced may name a higher number still.
    std::optional<std::uint32_t> replaced = Known(NumberOf(outputSignature));
    std::string highestFile = previousList ? *previousList + ".sig" : outputSignature;
    if (replaced && (!previous || *replaced > *previous)) {
        previous = replaced;
        highestFile = outputSignature;
    }
    if (!previous) {
        return wanted.value_or(1);
    }
    if (wanted && *wanted <= *previous) {
        return Refusal("--release " + std::to_string(*wanted) + " is not above release " +
                       std::to_string(*previous) + " of \"" + highestFile +
                       "\": release numbers only go up");
    }
    if (!wanted && *previous >= release::kMaxReleaseNumber) {
        return Refusal("the release numbers are used up");
    }
    return wanted.value_or(*previous + 1);
}

Result<std::string> ExpiryDate(const std::string& given, const std::string& today) {
    if (release::ValidDate(given)) {
        if (given < today) {
            return Failure{Fault::Usage,
                           "--expires " + given + " lies in the past (today is " + today + ")"};
        }
        return given;
    }
    const bool digits = !given.empty() && given.size() <= 5 &&
                        given.find_first_not_of("0123456789") == std::string::npos;
    const long long days = digits ? std::stoll(given) : 0;
    if (days < 1 || days > kMaxExpiryDays) {
        return Failure{Fault::Usage, "--expires takes a number of days from 1 to " +
                                         std::to_string(kMaxExpiryDays) +
                                         " or a date YYYY-MM-DD, not \"" + given + "\""};
    }
    return DaysAfter(today, days);
}

} // namespace publish
