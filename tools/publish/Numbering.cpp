#include "Numbering.h"

#include "Dates.h"
#include "Files.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

// Up to 100 years ahead: the date stays a four-digit year.
constexpr long long kMaxExpiryDays = 36500;

} // namespace

Result<std::uint32_t> SignatureNumber(const std::string& sigFile) {
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

Result<std::uint32_t> NextRelease(const KnownNumbers& numbers,
                                  const std::optional<std::uint32_t>& wanted) {
    if (numbers.unknownPrevious && !wanted && !numbers.historyKnows) {
        return Refusal(*numbers.unknownPrevious +
                       ": give --release N, above the last release published");
    }
    const KnownNumber* highest = nullptr;
    for (const auto& k : numbers.known) {
        if (highest == nullptr || k.number > highest->number) {
            highest = &k;
        }
    }
    if (highest == nullptr) {
        return wanted.value_or(1);
    }
    if (wanted && *wanted <= highest->number) {
        return Refusal("--release " + std::to_string(*wanted) + " is not above release " +
                       std::to_string(highest->number) + " of " + highest->source +
                       ": release numbers only go up");
    }
    if (!wanted && highest->number >= release::kMaxReleaseNumber) {
        return Refusal("the release numbers are used up");
    }
    return wanted.value_or(highest->number + 1);
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
