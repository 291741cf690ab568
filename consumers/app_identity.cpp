#include "consumers/app_identity.h"

#include <algorithm>
#include <span>

#include "common/path.h"

namespace orbelune {
namespace {

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsWindowsSpace(text.back())) {
        text.remove_suffix(1);
    }
    while (!text.empty() && IsWindowsSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

bool IsStrippedSuffixWord(std::u16string_view word) {
    const std::u16string lower = ToLowerUnits(word);
    return std::find(std::begin(kStrippedSuffixWords), std::end(kStrippedSuffixWords), lower) !=
           std::end(kStrippedSuffixWords);
}

std::optional<std::u16string_view> FindKnownApp(std::span<const KnownApp> table,
                                                std::u16string_view key) {
    for (const KnownApp& app : table) {
        if (app.key == key) {
            return app.displayName;
        }
    }
    return std::nullopt;
}

std::u16string_view BeforeFirstUnderscore(std::u16string_view name) {
    return name.substr(0, name.find(u'_'));
}

void AppendHex4(std::u16string& text, std::uint16_t value) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
}

}  // namespace

bool IsWindowsSpace(char16_t unit) {
    // Below U+0100 the runtime's own table; above it the system's character types, which
    // follow the Unicode space and separator categories.
    return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0xA0 || unit == 0x1680 ||
           (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 || unit == 0x2029 ||
           unit == 0x202F || unit == 0x205F || unit == 0x3000;
}

std::u16string ExecutableKey(std::u16string_view path) {
    return ToLowerUnits(FileNameOfPath(path));
}

std::optional<std::u16string_view> KnownDesktopName(std::u16string_view key) {
    return FindKnownApp(kKnownDesktopApps, key);
}

std::u16string VersionStringQuery(std::uint16_t language, std::uint16_t codePage,
                                  std::u16string_view key) {
    std::u16string query = u"\\StringFileInfo\\";
    AppendHex4(query, language);
    AppendHex4(query, codePage);
    query += u'\\';
    query += key;
    if (query.size() > kVersionQueryUnits - 1) {
        query.resize(kVersionQueryUnits - 1);
    }
    return query;
}

std::u16string CleanVersionName(std::u16string_view name) {
    std::u16string_view cleaned = TrimBlanks(name);
    for (;;) {
        if (!cleaned.empty() && cleaned.back() == u')') {
            const size_t open = cleaned.rfind(u'(');
            if (open != std::u16string_view::npos) {
                cleaned = TrimBlanks(cleaned.substr(0, open));
                continue;
            }
        }
        const size_t space = cleaned.rfind(u' ');
        if (space == std::u16string_view::npos ||
            !IsStrippedSuffixWord(cleaned.substr(space + 1))) {
            break;
        }
        cleaned = TrimBlanks(cleaned.substr(0, space));
    }
    return std::u16string(cleaned);
}

std::u16string FileNameDisplayName(std::u16string_view key) {
    std::u16string name(key.substr(0, key.rfind(u'.')));
    if (!name.empty()) {
        name.front() = ToUpperUnit(name.front());
    }
    return name;
}

std::optional<std::u16string> ResolveWithoutFile(DisplayNameCache& cache, std::u16string_view key) {
    if (const auto cached = cache.find(key); cached != cache.end()) {
        return cached->second;
    }
    if (const auto known = KnownDesktopName(key)) {
        return cache.insert_or_assign(std::u16string(key), std::u16string(*known)).first->second;
    }
    return std::nullopt;
}

std::u16string ResolveFromVersionName(DisplayNameCache& cache, std::u16string_view key,
                                      std::u16string_view versionName) {
    std::u16string name = CleanVersionName(versionName);
    if (name.empty()) {
        name = FileNameDisplayName(key);
    }
    return cache.insert_or_assign(std::u16string(key), std::move(name)).first->second;
}

std::optional<std::u16string_view> LookupPackagedName(std::u16string_view packageFamilyName) {
    const std::u16string lower = ToLowerUnits(packageFamilyName);
    return FindKnownApp(kKnownPackagedApps, BeforeFirstUnderscore(lower));
}

std::u16string DerivePackageName(std::u16string_view packageFamilyName) {
    std::u16string_view name = BeforeFirstUnderscore(packageFamilyName);
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot + 1 < name.size()) {
        name.remove_prefix(dot + 1);
    }
    return std::u16string(name);
}

}  // namespace orbelune
