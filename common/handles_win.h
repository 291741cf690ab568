// One small owner per kind of Win32 resource, so that no early return closes by hand.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>
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
    UniqueHkey(UniqueHkey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    UniqueHkey& operator=(UniqueHkey&& other) noexcept {
        if (this != &other) {
            Close();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    ~UniqueHkey() { Close(); }

    [[nodiscard]] HKEY Get() const { return key_; }
    // For the out-parameter of RegOpenKeyExW and RegCreateKeyExW; the owner must be empty.
    [[nodiscard]] HKEY* Put() { return &key_; }

  private:
    void Close() {
        if (key_ != nullptr) {
            RegCloseKey(std::exchange(key_, nullptr));
        }
    }

    HKEY key_ = nullptr;
};

// Owners of memory and views that Windows hands out, each freed the way its maker requires.
struct LocalMemoryFree {
    void operator()(void* memory) const { LocalFree(memory); }
};
struct CoTaskMemoryFree {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};
struct ViewUnmap {
    void operator()(void* view) const { UnmapViewOfFile(view); }
};
template <typename T>
using UniqueLocalMemory =
    std::unique_ptr<T, LocalMemoryFree>;  // FormatMessageW, CommandLineToArgvW
template <typename T>
using UniqueCoTaskMemory = std::unique_ptr<T, CoTaskMemoryFree>;  // shell and COM allocations
using UniqueView = std::unique_ptr<void, ViewUnmap>;              // MapViewOfFile

}  // namespace orbelune
