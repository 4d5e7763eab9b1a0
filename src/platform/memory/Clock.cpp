#include "../Clock.h"

#include "Machine.h"

namespace platform {

std::int64_t UnixTimeSeconds() {
    return memory::TheMachine().unixTime;
}

LocalDateTime LocalNow() {
    return memory::TheMachine().localTime;
}

RegionalFormats Regional() {
    return memory::TheMachine().regional;
}

} // namespace platform
