// A SHA-256 fed from a worker thread: one piece is hashed while the caller receives and writes
// the next, so that checking a download costs little more than the download where the
// machine has a core to spare.
#pragma once

#include "../Crypto.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

class OverlappedHash {
public:
    OverlappedHash() : worker_([this] { Work(); }) {}
    ~OverlappedHash() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    OverlappedHash(const OverlappedHash&) = delete;
    OverlappedHash& operator=(const OverlappedHash&) = delete;

    // Waits until the previous piece is hashed, then hands this one over: its bytes must stay
    // untouched until the next Add or Finish, or until this object is gone.
    void Add(const char* data, std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        data_ = data;
        size_ = size;
        busy_ = true;
        changed_.notify_all();
    }

    std::optional<Sha256Digest> Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        return hash_.Finish();
    }

private:
    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [this] { return busy_ || stopping_; });
            if (!busy_) {
                return;
            }
            lock.unlock();
            hash_.Update(data_, size_);
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        }
    }

    Sha256 hash_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    // Last, so that it starts once everything it uses is in place.
    std::thread worker_;
};

} // namespace platform
