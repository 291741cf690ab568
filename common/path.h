// Path text rules shared by the settings, the log and the tools. Paths are UTF-16 and use
// Windows separators; both '\' and '/' count as separators.
#pragma once

#include <string>
#include <string_view>

namespace orbelune {

// Joins `name` onto `left` with one backslash, unless `left` is empty or already ends in a
// separator.
std::u16string JoinPath(std::u16string_view left, std::u16string_view name);

// The folder part of a full path: the last component and the separators before it removed,
// the separator of a root kept ("C:\agent.exe" gives "C:\"). A path without a separator gives
// an empty folder.
std::u16string FolderOfPath(std::u16string_view path);

// Whether a path means the same whatever the current folder: "X:\..." or "\\server\...".
bool IsAbsolutePath(std::u16string_view path);

// The file-name part of a path: what follows its last separator (all of it when it has none).
std::u16string_view FileNameOfPath(std::u16string_view path);

}  // namespace orbelune
