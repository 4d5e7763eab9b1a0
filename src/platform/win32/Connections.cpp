#include "Connections.h"

#include <winsock2.h>

#include <psapi.h>
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// Socket handles are small multiples of 4; WinINet's lie far below this.
constexpr UINT_PTR kHighestHandle = 1u << 16;
// What reading header lines may add to the process before the wait is cut.
constexpr SIZE_T kMaxHeaderGrowth = 16u << 20;
constexpr DWORD kWatchStepMs = 100;

// The memory the process has committed (Wine reports no private usage apart from it).
SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return 0;
    }
    return counters.PagefileUsage;
}

// The one watching thread, armed for one wait at a time.
class Watcher {
public:
    static Watcher& Instance() {
        static Watcher watcher;
        return watcher;
    }

    void Arm(std::uint64_t deadlineMs) {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        tripped_ = false;
        deadline_ = GetTickCount64() + deadlineMs;
        baseline_ = CommittedBytes();
        wake_.notify_one();
    }

    bool Disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
        return tripped_;
    }

    bool Tripped() {
        std::lock_guard<std::mutex> lock(mutex_);
        return tripped_;
    }

    ~Watcher() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            wake_.notify_one();
        }
        thread_.join();
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

private:
    Watcher() : thread_([this] { Watch(); }) {}

    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (!armed_ || tripped_) {
                wake_.wait(lock); // idle until armed
                continue;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(kWatchStepMs));
            if (stop_ || !armed_ || tripped_) {
                continue;
            }
            const bool late = GetTickCount64() >= deadline_;
            const SIZE_T now = CommittedBytes();
            if (late || (now > baseline_ && now - baseline_ > kMaxHeaderGrowth)) {
                tripped_ = true;
                CutConnections();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool armed_ = false;
    bool tripped_ = false;
    ULONGLONG deadline_ = 0;
    SIZE_T baseline_ = 0;
    std::thread thread_;
};

} // namespace

void CutConnections() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) {
        return;
    }
    for (UINT_PTR handle = 4; handle < kHighestHandle; handle += 4) {
        sockaddr_storage peer{};
        int size = sizeof(peer);
        if (getpeername(static_cast<SOCKET>(handle), reinterpret_cast<sockaddr*>(&peer), &size) ==
            0) {
            shutdown(static_cast<SOCKET>(handle), SD_BOTH);
        }
    }
}

HeaderWatch::HeaderWatch(std::uint64_t deadlineMs) {
    Watcher::Instance().Arm(deadlineMs);
}

HeaderWatch::~HeaderWatch() {
    Watcher::Instance().Disarm();
}

bool HeaderWatch::Tripped() const {
    return Watcher::Instance().Tripped();
}

} // namespace platform
