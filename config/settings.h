// The agent's six settings and the rules that turn registry values into them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbelune {

inline constexpr std::u16string_view kProducerExeName =
    u"orbelune_windows_retouch_vcam_producer.exe";
inline constexpr std::u16string_view kDefaultProvider = u"directml";
inline constexpr std::uint64_t kDefaultIdleStopMs = 8000;

// Registry location and value names, under HKEY_CURRENT_USER.
inline constexpr std::u16string_view kSettingsKey = u"Software\\Orbelune";
inline constexpr std::u16string_view kCameraIndexValue = u"CameraIndex";
inline constexpr std::u16string_view kProviderValue = u"Provider";
inline constexpr std::u16string_view kEnabledValue = u"Enabled";
inline constexpr std::u16string_view kIdleStopMsValue = u"IdleStopMs";
inline constexpr std::u16string_view kProducerExeValue = u"ProducerExe";
inline constexpr std::u16string_view kRepoRootValue = u"RepoRoot";

// A string value is read into a buffer of this size; a longer value (more than 1023 units
// before its terminator) counts as unreadable.
inline constexpr std::uint32_t kSettingStringBufferBytes = 2048;

// One snapshot of the configuration.
struct AgentSettings {
    std::int32_t cameraIndex = 0;
    std::u16string provider;
    bool enabled = true;
    std::uint64_t idleStopMs = kDefaultIdleStopMs;
    std::u16string producerExe;
    std::u16string repoRoot;
};

// The values as read from the registry: a number only when a REG_DWORD was read, a string
// only when a REG_SZ was read (its text up to the first NUL). Empty fields were missing, of
// another type or unreadable; all are empty when the key could not be opened.
struct RawSettingValues {
    std::optional<std::uint32_t> cameraIndex;
    std::optional<std::u16string> provider;
    std::optional<std::uint32_t> enabled;
    std::optional<std::uint32_t> idleStopMs;
    std::optional<std::u16string> producerExe;
    std::optional<std::u16string> repoRoot;
};

// Applies every default and fallback: each field independently, the producer path and the
// repository root derived from the agent's own folder when the registry gives none.
AgentSettings SettingsFromValues(const RawSettingValues& raw, std::u16string_view moduleFolder);

// Windows only. The raw values under HKEY_CURRENT_USER\Software\Orbelune.
RawSettingValues ReadRawSettingValues();

// Windows only. The folder of the running executable, or empty when its path cannot be had.
std::u16string ModuleDirectory();

// Windows only. A fresh snapshot; never fails.
AgentSettings ReadAgentSettings();

}  // namespace orbelune
