// The log's folders and file as the security API shows them, for the rules of log_access.h.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "log/log_access.h"

namespace orbelune {

// The path itself (a junction or link is not followed): whether it is a reparse point, its
// hard links and its DACL. Nothing when it is not there or its security cannot be read.
std::optional<LogPathSecurity> ReadLogPathSecurity(std::u16string_view path) noexcept;

// The log's paths under the base folder as JudgeLogAccess takes them.
std::array<std::optional<LogPathSecurity>, 3> ReadLogAccess(std::u16string_view baseFolder);

// The access-allowed and access-denied entries of `dacl`, in its order.
std::vector<AccessEntry> ReadAccessEntries(const ACL& dacl);

}  // namespace orbelune
