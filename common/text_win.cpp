#include "common/text_win.h"

namespace orbelune {

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string ToU16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace orbelune
