// Path text rules shared by the settings and the log. Paths are UTF-16 and use Windows
// separators; both '\' and '/' count as separators.
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

// Decimal text of a signed or unsigned value, no sign for non-negative values, no padding.
std::u16string DecimalText(long long value);
std::u16string DecimalText(unsigned long long value);

}  // namespace orbelune
