#include "consumers/consent_store.h"

#include <algorithm>

namespace orbelune {

bool IsInUse(std::uint64_t lastUsedStart, std::uint64_t lastUsedStop) {
    return lastUsedStart != 0 && lastUsedStop == 0;
}

std::u16string ExecutablePathFromSubkey(std::u16string_view subkeyName) {
    std::u16string path(subkeyName);
    std::replace(path.begin(), path.end(), u'#', u'\\');
    return path;
}

bool IsOwnProductKey(std::u16string_view key) {
    return key.starts_with(kOwnProductPrefix);
}

bool IsNonPackagedName(std::u16string_view subkeyName) {
    return ToLowerUnits(subkeyName) == ToLowerUnits(kNonPackagedKeyName);
}

std::u16string DesktopConsumerKey(std::u16string_view subkeyName, std::uint64_t lastUsedStart,
                                  std::uint64_t lastUsedStop, const RunningProcessNames& running) {
    if (!IsInUse(lastUsedStart, lastUsedStop)) {
        return {};
    }
    std::u16string key = ExecutableKey(ExecutablePathFromSubkey(subkeyName));
    if (key.empty() || IsOwnProductKey(key) || !running.contains(key)) {
        return {};
    }
    return key;
}

std::u16string PackagedDisplayName(std::u16string_view packageFamilyName) {
    if (const auto known = LookupPackagedName(packageFamilyName)) {
        return std::u16string(*known);
    }
    return DerivePackageName(packageFamilyName);
}

}  // namespace orbelune
