#include "common/path.h"

namespace orbelune {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

}  // namespace

std::u16string JoinPath(std::u16string_view left, std::u16string_view name) {
    std::u16string joined(left);
    if (!joined.empty() && !IsSeparator(joined.back())) {
        joined += u'\\';
    }
    joined += name;
    return joined;
}

std::u16string FolderOfPath(std::u16string_view path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) {
        --end;  // drop the last component
    }
    if (end == 0) {
        return {};
    }
    const size_t lastSeparator = end - 1;
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;  // drop the separators before it
    }
    // A root keeps one separator: "\" alone, or a drive such as "C:\".
    if (end == 0 || path[end - 1] == u':') {
        return std::u16string(path.substr(0, end)) + path[lastSeparator];
    }
    return std::u16string(path.substr(0, end));
}

std::u16string DecimalText(unsigned long long value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::u16string DecimalText(long long value) {
    if (value >= 0) {
        return DecimalText(static_cast<unsigned long long>(value));
    }
    // Negate in unsigned arithmetic so that the smallest value does not overflow.
    std::u16string text = DecimalText(0ULL - static_cast<unsigned long long>(value));
    text.insert(text.begin(), u'-');
    return text;
}

}  // namespace orbelune
