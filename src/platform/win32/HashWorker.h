// SHA-256 of a download taken on a worker thread: one batch is hashed while the caller
// receives and writes the next, so that checking a download costs little more than the
// download where the machine has a core to spare. Under Wine a new thread costs about 3 ms
// and a fresh 1 MB buffer about 2 ms, more than hashing a typical file, so the thread and
// its two batch buffers are made once and kept for the life of the process.
#pragma once

#include "../Crypto.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace platform {

class HashWorker {
public:
    static constexpr std::size_t kBatch = 256 * 1024;

    // One download's use of the worker. Another download waits until this one is gone,
    // and it is gone only once its last batch is hashed.
    class Session {
    public:
        Session() : worker_(Instance()), owner_(worker_.owner_) {}
        ~Session() { worker_.WaitIdle(); }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        // The two buffers to fill in turn, kBatch bytes each.
        char* Batch(int which) { return worker_.batches_[which].data(); }
        // Waits until the previous batch is hashed, then hands this one over: its bytes must
        // stay untouched until the next Add or Finish.
        void Add(const char* data, std::size_t size) { worker_.Post(hash_, data, size); }
        std::optional<Sha256Digest> Finish() {
            worker_.WaitIdle();
            return hash_.Finish();
        }

    private:
        HashWorker& worker_;
        std::unique_lock<std::mutex> owner_;
        Sha256 hash_;
    };

    HashWorker(const HashWorker&) = delete;
    HashWorker& operator=(const HashWorker&) = delete;

private:
    HashWorker() : worker_([this] { Work(); }) {}
    ~HashWorker() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    // Made at the first checked download; a thread that cannot be started throws, and the
    // next download tries again.
    static HashWorker& Instance() {
        static HashWorker worker;
        return worker;
    }

    void Post(Sha256& hash, const char* data, std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        hash_ = &hash;
        data_ = data;
        size_ = size;
        busy_ = true;
        changed_.notify_all();
    }

    void WaitIdle() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
    }

    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [this] { return busy_ || stopping_; });
            if (!busy_) {
                return;
            }
            lock.unlock();
            hash_->Update(data_, size_);
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        }
    }

    // Held by the one download that uses the batches.
    std::mutex owner_;
    std::vector<char> batches_[2] = {std::vector<char>(kBatch), std::vector<char>(kBatch)};
    std::mutex mutex_;
    std::condition_variable changed_;
    Sha256* hash_ = nullptr;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    // Last, so that it starts once everything it uses is in place.
    std::thread worker_;
};

} // namespace platform
