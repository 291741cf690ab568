#include "common/file_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "common/handles_win.h"

namespace orbelune {
namespace {

UniqueHandle OpenToRead(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::wstring& path) noexcept {
    const UniqueHandle file = OpenToRead(path);
    if (!file.IsValid()) {
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

std::optional<std::string> ReadFileTail(const std::wstring& path, std::size_t maxBytes) noexcept {
    const UniqueHandle file = OpenToRead(path);
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) {
        return std::nullopt;
    }
    const auto length = static_cast<std::size_t>(
        std::min(static_cast<std::uint64_t>(size.QuadPart), static_cast<std::uint64_t>(maxBytes)));
    LARGE_INTEGER start = {};
    start.QuadPart = size.QuadPart - static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) {
        return std::nullopt;
    }
    // What the file holds beyond the size it had when opened is left unread.
    std::string content(length, '\0');
    size_t done = 0;
    DWORD read = 0;
    while (done < length &&
           ReadFile(file.Get(), content.data() + done,
                    static_cast<DWORD>(std::min<size_t>(length - done, 65536)), &read, nullptr) &&
           read > 0) {
        done += read;
    }
    content.resize(done);
    return content;
}

}  // namespace orbelune
