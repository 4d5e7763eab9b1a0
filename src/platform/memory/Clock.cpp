// The clock of the in-memory machine, and its date and time pictures written the way
// GetDateFormatA and GetTimeFormatA write them.
#include "../Clock.h"

#include "Machine.h"

#include <algorithm>
#include <vector>

namespace platform {

using memory::Op;
using memory::TheMachine;

namespace {

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Sakamoto's rule: 0 is Sunday.
int DayOfWeek(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) {
        year -= 1;
    }
    return (year + year / 4 - year / 100 + year / 400 + offsets[(month + 11) % 12] + day) % 7;
}

std::string Name(const char* full, std::size_t run) {
    return run >= 4 ? std::string(full) : std::string(full).substr(0, 3);
}

// A run of one letter, or quoted text (letter '\''), as characters [begin, end) of a picture.
struct Token {
    std::size_t begin = 0, end = 0;
    char letter = 0;
    std::size_t Run() const { return end - begin; }
};

std::vector<Token> Tokens(const std::string& picture) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < picture.size();) {
        std::size_t end = picture[i] == '\''
                              ? std::min(picture.find('\'', i + 1), picture.size() - 1) + 1
                              : std::min(picture.find_first_not_of(picture[i], i), picture.size());
        tokens.push_back(Token{i, end, picture[i]});
        i = end;
    }
    return tokens;
}

// Quoted text stands as it is, a run of one letter is one field, anything else is copied.
// `field` writes the field of a letter and its run length, or gives false.
template <typename Field> std::string Render(const std::string& picture, Field field) {
    std::string out;
    for (const Token& t : Tokens(picture)) {
        if (t.letter == '\'') {
            const bool closed = t.Run() >= 2 && picture[t.end - 1] == '\'';
            out += picture.substr(t.begin + 1, t.Run() - (closed ? 2 : 1));
        } else if (!field(t.letter, t.Run(), out)) {
            out += picture.substr(t.begin, t.Run());
        }
    }
    return out;
}

bool IsTimeField(char c) {
    return c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't';
}

} // namespace

std::int64_t UnixTimeSeconds() {
    return TheMachine().world.unixTime;
}

LocalDateTime LocalNow() {
    return TheMachine().world.localTime;
}

std::string ShortDateText(const LocalDateTime& when) {
    auto& m = TheMachine();
    if (m.Enter(Op::GetDateFormat)) {
        return std::string();
    }
    return Render(m.world.regional.shortDate, [&](char c, std::size_t run, std::string& out) {
        if (c == 'd') {
            out += run == 1   ? std::to_string(when.day)
                   : run == 2 ? TwoDigits(when.day)
                              : Name(kDays[DayOfWeek(when.year, when.month, when.day)], run);
        } else if (c == 'M') {
            out += run == 1   ? std::to_string(when.month)
                   : run == 2 ? TwoDigits(when.month)
                              : Name(kMonths[(when.month + 11) % 12], run);
        } else if (c == 'y') {
            out += run == 1   ? std::to_string(when.year % 10)
                   : run == 2 ? TwoDigits(when.year % 100)
                              : std::to_string(when.year);
        } else {
            return false;
        }
        return true;
    });
}

// The parts Windows derives from the time picture the user chose: the hour field's letter
// and length, the text after it up to the next field (quotes kept), and whether the
// designator comes before the hour. A failed call gives every part empty.
TimeSettings RegionalTimeSettings() {
    auto& m = TheMachine();
    TimeSettings settings;
    if (m.Enter(Op::GetLocaleInfo)) {
        settings.separator.clear();
        return settings;
    }
    const std::string& picture = m.world.regional.timeFormat;
    settings.am = m.world.regional.amDesignator;
    settings.pm = m.world.regional.pmDesignator;
    const std::vector<Token> tokens = Tokens(picture);
    bool designatorSeen = false;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token& hour = tokens[k];
        designatorSeen = designatorSeen || hour.letter == 't';
        if (hour.letter != 'h' && hour.letter != 'H') {
            continue;
        }
        settings.twelveHour = hour.letter == 'h';
        settings.hourLeadingZero = hour.Run() >= 2;
        settings.designatorFirst = designatorSeen;
        std::size_t next = k + 1;
        while (next < tokens.size() && !IsTimeField(tokens[next].letter)) {
            ++next;
        }
        const std::size_t stop = next < tokens.size() ? tokens[next].begin : picture.size();
        settings.separator = picture.substr(hour.end, stop - hour.end);
        break;
    }
    return settings;
}

std::string TimeText(const LocalDateTime& when, const std::string& picture) {
    auto& m = TheMachine();
    if (m.Enter(Op::GetTimeFormat)) {
        return std::string();
    }
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const std::string& designator =
        when.hour < 12 ? m.world.regional.amDesignator : m.world.regional.pmDesignator;
    return Render(picture, [&](char c, std::size_t run, std::string& out) {
        if (c == 'h' || c == 'H') {
            out += run == 1 ? std::to_string(c == 'h' ? hour12 : when.hour)
                            : TwoDigits(c == 'h' ? hour12 : when.hour);
        } else if (c == 'm' || c == 's') {
            const int value = c == 'm' ? when.minute : when.second;
            out += run == 1 ? std::to_string(value) : TwoDigits(value);
        } else if (c == 't') {
            out += run == 1 ? designator.substr(0, 1) : designator;
        } else {
            return false;
        }
        return true;
    });
}

} // namespace platform
