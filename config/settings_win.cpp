#include "config/settings_win.h"

#include <windows.h>

#include <cwchar>

#include "common/handles_win.h"
#include "common/path_win.h"
#include "common/text_win.h"

namespace orbelune {
namespace {

RawSetting::Outcome OutcomeOf(LSTATUS status) {
    switch (status) {
        case ERROR_SUCCESS:
            return RawSetting::Outcome::kValue;
        case ERROR_FILE_NOT_FOUND:
            return RawSetting::Outcome::kMissing;
        case ERROR_UNSUPPORTED_TYPE:
            return RawSetting::Outcome::kOtherType;
        case ERROR_MORE_DATA:
            return RawSetting::Outcome::kTooLong;
        default:
            return RawSetting::Outcome::kUnreadable;
    }
}

RawSetting ReadNumber(HKEY key, const std::wstring& name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
    return {OutcomeOf(status), status == ERROR_SUCCESS ? value : 0, {}};
}

RawSetting ReadString(HKEY key, const std::wstring& name) {
    // Zero-filled before every read; the text is taken up to its first NUL.
    wchar_t buffer[kSettingStringBufferBytes / sizeof(wchar_t)] = {};
    DWORD size = kSettingStringBufferBytes;
    DWORD type = 0;
    const LSTATUS status =
        RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, &type, buffer, &size);
    if (status != ERROR_SUCCESS) {
        return {OutcomeOf(status), 0, {}};
    }
    return {RawSetting::Outcome::kValue, 0,
            ToU16(std::wstring_view(buffer, wcsnlen(buffer, std::size(buffer))))};
}

}  // namespace

RawSettingValues ReadRawSettingValues() {
    RawSettingValues raw;
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS) {
        return raw;
    }
    for (size_t i = 0; i < kSettingCount; ++i) {
        const std::wstring name = ToWide(kSettingRows[i].name);
        raw[i] = IsNumberKind(kSettingRows[i].kind) ? ReadNumber(key.Get(), name)
                                                    : ReadString(key.Get(), name);
    }
    return raw;
}

AgentSettings ReadAgentSettings() {
    return SettingsFromValues(ReadRawSettingValues(), ModuleDirectory());
}

}  // namespace orbelune
