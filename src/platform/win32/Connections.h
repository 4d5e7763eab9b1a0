// Cutting the program's HTTP connections. Closing a WinINet request whose body has not been
// read whole first reads the rest of it (Wine drains it, however much the server announced),
// and closing a request handle does not interrupt a wait on its answer: a transfer that must
// end now has its connections shut down first, so that every read on them ends at once.
#pragma once

#include <cstdint>

namespace platform {

// Shuts down every connected socket of the process (the program has none but WinINet's).
// The connections are not closed: WinINet still owns them, and closes them when it finds
// them ended.
void CutConnections();

// While alive, watches the wait for an answer's status line and headers: when they have not
// all arrived within the given time, or the wait has grown the process's memory by more than
// a fixed bound (header lines without end), the connections are cut and the wait ends.
// One watching thread serves the whole process: a new thread costs Wine milliseconds.
class HeaderWatch {
public:
    explicit HeaderWatch(std::uint64_t deadlineMs);
    ~HeaderWatch();
    HeaderWatch(const HeaderWatch&) = delete;
    HeaderWatch& operator=(const HeaderWatch&) = delete;

    // Whether the watch cut the connections.
    bool Tripped() const;
};

} // namespace platform
