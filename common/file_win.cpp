#include "common/file_win.h"

#include <windows.h>

#include "common/handles_win.h"

namespace orbelune {

std::optional<std::string> ReadWholeFile(const std::wstring& path) noexcept {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

}  // namespace orbelune
