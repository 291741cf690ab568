#include "consumers/consent_store.h"

#include <windows.h>

#include "common/handles_win.h"
#include "common/text_win.h"
#include "consumers/app_identity_win.h"
#include "consumers/consent_store_win.h"

namespace orbelune {
namespace {

bool OpenForReading(HKEY root, std::u16string_view path, UniqueHkey& key) {
    return RegOpenKeyExW(root, ToWide(path).c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// A REG_QWORD value of the subkey `subkey` of `parent`; 0 when it is missing, of another type
// or unreadable. The restriction is RRF_RT_REG_QWORD (0x40) alone: the SDK's RRF_RT_QWORD
// also lets an 8-byte REG_BINARY through, and raw bytes are no time.
std::uint64_t ReadTime(HKEY parent, const std::wstring& subkey, std::u16string_view name) {
    static_assert(RRF_RT_REG_QWORD == 0x40);
    std::uint64_t value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(parent, subkey.c_str(), ToWide(name).c_str(), RRF_RT_REG_QWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

void AppendDesktopApps(const RunningProcessNames& running, DisplayNameCache& displayNames,
                       std::vector<ConsumerRecord>& records) {
    UniqueHkey nonPackaged;
    if (!OpenForReading(HKEY_CURRENT_USER, kNonPackagedKeyPath, nonPackaged)) {
        return;
    }
    for (const std::u16string& name : ListSubkeys(HKEY_CURRENT_USER, kNonPackagedKeyPath)) {
        const std::wstring subkey = ToWide(name);
        const std::uint64_t start = ReadTime(nonPackaged.Get(), subkey, kLastUsedTimeStartValue);
        const std::uint64_t stop = ReadTime(nonPackaged.Get(), subkey, kLastUsedTimeStopValue);
        std::u16string key = DesktopConsumerKey(name, start, stop, running);
        if (key.empty()) {
            continue;
        }
        std::u16string displayName =
            ResolveDisplayName(displayNames, ExecutablePathFromSubkey(name), key);
        records.push_back({std::move(displayName), std::move(key), false, start});
    }
}

void AppendPackagedApps(std::vector<ConsumerRecord>& records) {
    UniqueHkey webcam;
    if (!OpenForReading(HKEY_CURRENT_USER, kWebcamKeyPath, webcam)) {
        return;
    }
    for (const std::u16string& name : ListSubkeys(HKEY_CURRENT_USER, kWebcamKeyPath)) {
        if (IsNonPackagedName(name)) {
            continue;
        }
        const std::wstring subkey = ToWide(name);
        const std::uint64_t start = ReadTime(webcam.Get(), subkey, kLastUsedTimeStartValue);
        const std::uint64_t stop = ReadTime(webcam.Get(), subkey, kLastUsedTimeStopValue);
        if (IsInUse(start, stop)) {
            records.push_back({PackagedDisplayName(name), name, true, start});
        }
    }
}

}  // namespace

std::vector<std::u16string> ListSubkeys(HKEY root, std::u16string_view path) noexcept {
    std::vector<std::u16string> names;
    UniqueHkey key;
    if (!OpenForReading(root, path, key)) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameUnits] = {};
        DWORD length = kSubkeyNameUnits;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(ToU16(std::wstring_view(name, length)));
    }
    return names;
}

std::vector<ConsumerRecord> ScanConsentStore(DisplayNameCache& displayNames) noexcept {
    // One snapshot per scan, taken before the registry is read.
    const RunningProcessNames running = SnapshotProcessNames();
    std::vector<ConsumerRecord> records;
    AppendDesktopApps(running, displayNames, records);
    AppendPackagedApps(records);
    return records;
}

}  // namespace orbelune
