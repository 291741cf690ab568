// Conversions between the core's UTF-16 text and the Win32 API's wchar_t text. They copy
// rather than cast, since reading char16_t storage through wchar_t pointers breaks aliasing.
#pragma once

#include <string>
#include <string_view>

namespace orbelune {

std::wstring ToWide(std::u16string_view text);
std::u16string ToU16(std::wstring_view text);

}  // namespace orbelune
