#include "config/settings.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "common/handles_win.h"
#include "common/path.h"
#include "common/text_win.h"

namespace orbelune {
namespace {

std::optional<std::uint32_t> ReadNumber(HKEY key, std::u16string_view name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(key, nullptr, ToWide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::u16string> ReadString(HKEY key, std::u16string_view name) {
    // Zero-filled before every read; the text is taken up to its first NUL.
    wchar_t buffer[kSettingStringBufferBytes / sizeof(wchar_t)] = {};
    DWORD size = kSettingStringBufferBytes;
    DWORD type = 0;
    if (RegGetValueW(key, nullptr, ToWide(name).c_str(), RRF_RT_REG_SZ, &type, buffer, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return ToU16(std::wstring_view(buffer, wcsnlen(buffer, std::size(buffer))));
}

}  // namespace

RawSettingValues ReadRawSettingValues() {
    RawSettingValues raw;
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS) {
        return raw;
    }
    raw.cameraIndex = ReadNumber(key.Get(), kCameraIndexValue);
    raw.provider = ReadString(key.Get(), kProviderValue);
    raw.enabled = ReadNumber(key.Get(), kEnabledValue);
    raw.idleStopMs = ReadNumber(key.Get(), kIdleStopMsValue);
    raw.producerExe = ReadString(key.Get(), kProducerExeValue);
    raw.repoRoot = ReadString(key.Get(), kRepoRootValue);
    return raw;
}

std::u16string ModuleDirectory() {
    std::vector<wchar_t> buffer(260);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        // A path one unit shorter than the buffer may have been cut: fetch it again, larger.
        if (length < size - 1) {
            return FolderOfPath(ToU16(std::wstring_view(buffer.data(), length)));
        }
        buffer.resize(buffer.size() * 2);
    }
}

AgentSettings ReadAgentSettings() {
    const std::u16string moduleFolder = ModuleDirectory();
    return SettingsFromValues(ReadRawSettingValues(), moduleFolder);
}

}  // namespace orbelune
