// One small owner per kind of Win32 resource, so that no early return closes by hand.
#pragma once

#include <windows.h>

#include <utility>

namespace orbelune {

// Owns a kernel handle. Both null and INVALID_HANDLE_VALUE count as empty, since Win32 uses
// either for "no handle" depending on the call.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Take()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Take();
        }
        return *this;
    }
    ~UniqueHandle() { Close(); }

    [[nodiscard]] bool IsValid() const {
        return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
    }
    [[nodiscard]] HANDLE Get() const { return handle_; }
    [[nodiscard]] HANDLE Take() { return std::exchange(handle_, nullptr); }

    // Closes the handle, leaving the thread's last error as it was.
    void Close() {
        if (IsValid()) {
            const DWORD lastError = GetLastError();
            CloseHandle(handle_);
            SetLastError(lastError);
        }
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

// Owns an open registry key.
class UniqueHkey {
  public:
    UniqueHkey() = default;
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    ~UniqueHkey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }

    [[nodiscard]] HKEY Get() const { return key_; }
    // For the out-parameter of RegOpenKeyExW and RegCreateKeyExW; the owner must be empty.
    [[nodiscard]] HKEY* Put() { return &key_; }

  private:
    HKEY key_ = nullptr;
};

// Calls a function when the scope ends.
template <typename F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { f_(); }

  private:
    F f_;
};

}  // namespace orbelune
