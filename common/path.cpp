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

std::u16string_view FileNameOfPath(std::u16string_view path) {
    const size_t separator = path.find_last_of(u"\\/");
    return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

bool IsAbsolutePath(std::u16string_view path) {
    const auto separator = [&](size_t at) {
        return at < path.size() && (path[at] == u'\\' || path[at] == u'/');
    };
    return (separator(0) && separator(1)) || (path.size() > 1 && path[1] == u':' && separator(2));
}

}  // namespace orbelune
