// What the system says about applications: which run, and what their executables call them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "consumers/app_identity.h"

namespace orbelune {

// The executable keys of the running processes; empty when no snapshot can be taken.
RunningProcessNames SnapshotProcessNames() noexcept;

// The first non-empty FileDescription of any translation, else the first non-empty
// ProductName, of the executable's version resource; empty when there is none; nothing when the
// file cannot be read (gone, moved away, or barred to this user).
std::optional<std::u16string> ReadVersionName(std::u16string_view path) noexcept;

// The display name of a desktop app: cache, known table, version resource, file name. `path`
// is the executable's full path, `key` its executable key.
std::u16string ResolveDisplayName(DisplayNameCache& cache, std::u16string_view path,
                                  std::u16string_view key) noexcept;

}  // namespace orbelune
