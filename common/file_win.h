// Reading files that other processes may be writing at the same time, opened without locking
// anyone out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace orbelune {

// The file's bytes; nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::wstring& path) noexcept;

// The file's last `maxBytes` bytes (all of a shorter file) as far as it reached when opened,
// read without the rest; nothing when it cannot be opened.
std::optional<std::string> ReadFileTail(const std::wstring& path, std::size_t maxBytes) noexcept;

}  // namespace orbelune
