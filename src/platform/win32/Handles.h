// Owners of Windows handles, closed on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <typename Traits> class UniqueHandle {
public:
    using Native = typename Traits::Native;
    UniqueHandle() = default;
    explicit UniqueHandle(Native handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::Invalid());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Native get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    void reset() {
        if (handle_ != Traits::Invalid()) {
            Traits::Close(handle_);
            handle_ = Traits::Invalid();
        }
    }

private:
    Native handle_ = Traits::Invalid();
};

struct FileHandleTraits {
    using Native = HANDLE;
    static Native Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Native h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Native = HANDLE;
    static Native Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Native h) { FindClose(h); }
};

struct KernelHandleTraits {
    using Native = HANDLE;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { CloseHandle(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;

} // namespace platform
