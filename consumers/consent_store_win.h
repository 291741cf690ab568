// Registry enumeration for the consent-store scan.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace orbelune {

// The names of the direct subkeys of `root`\`path`, in enumeration order; empty when the key
// cannot be opened. An enumeration that fails midway gives the names seen so far.
std::vector<std::u16string> ListSubkeys(HKEY root, std::u16string_view path) noexcept;

}  // namespace orbelune
