// Reading a whole file that other processes may be writing at the same time.
#pragma once

#include <optional>
#include <string>

namespace orbelune {

// The file's bytes, opened without locking anyone out; nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::wstring& path) noexcept;

}  // namespace orbelune
