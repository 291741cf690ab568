// The agent's six settings: one table of their registry values, types and defaults, and the
// rules that turn what the registry holds into one snapshot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbelune {

// Registry location, under HKEY_CURRENT_USER.
inline constexpr std::u16string_view kSettingsKey = u"Software\\Orbelune";

// A string value is read into a buffer of this size; a longer value (more than
// kMaxSettingLength units before its terminator) counts as unreadable.
inline constexpr std::uint32_t kSettingStringBufferBytes = 2048;
inline constexpr size_t kMaxSettingLength = kSettingStringBufferBytes / 2 - 1;

// How a setting is stored and what the agent makes of it.
enum class SettingKind {
    kSignedNumber,    // REG_DWORD whose 32 bits are a signed number
    kSwitch,          // REG_DWORD: 0 is off, anything else on
    kUnsignedNumber,  // REG_DWORD, widened without sign
    kText,            // REG_SZ; an empty string stays empty
    kPath,            // REG_SZ; an empty string means the default, beside the agent
};

struct SettingRow {
    std::u16string_view name;  // the registry value's name
    SettingKind kind;
    std::uint32_t defaultNumber;      // the default of a number or a switch
    std::u16string_view defaultText;  // the default text; for a path, the name joined to the
                                      // agent's folder (empty: the folder itself)
    std::u16string_view unit;         // what a number counts, for the control tool's help
};

// The settings in the order the agent reads them; Setting indexes this table.
enum class Setting { kCameraIndex, kProvider, kEnabled, kIdleStopMs, kProducerExe, kRepoRoot };
inline constexpr SettingRow kSettingRows[] = {
    {u"CameraIndex", SettingKind::kSignedNumber, 0, {}, {}},
    {u"Provider", SettingKind::kText, 0, u"directml", {}},
    {u"Enabled", SettingKind::kSwitch, 1, {}, {}},
    {u"IdleStopMs", SettingKind::kUnsignedNumber, 8000, {}, u"milliseconds"},
    {u"ProducerExe", SettingKind::kPath, 0, u"orbelune_windows_retouch_vcam_producer.exe", {}},
    {u"RepoRoot", SettingKind::kPath, 0, {}, {}},
};
inline constexpr size_t kSettingCount = std::size(kSettingRows);

constexpr const SettingRow& RowOf(Setting setting) {
    return kSettingRows[static_cast<size_t>(setting)];
}

constexpr bool IsNumberKind(SettingKind kind) {
    return kind != SettingKind::kText && kind != SettingKind::kPath;
}

// One registry value as read: its number (REG_DWORD settings) or its text up to the first NUL
// (REG_SZ settings) when it has the setting's type and fits, else why it does not count.
struct RawSetting {
    enum class Outcome { kMissing, kValue, kOtherType, kTooLong, kUnreadable };
    Outcome outcome = Outcome::kMissing;
    std::uint32_t number = 0;
    std::u16string text;
    friend bool operator==(const RawSetting&, const RawSetting&) = default;
};

// Every setting's raw value, indexed by Setting; all missing when the key could not be opened.
using RawSettingValues = std::array<RawSetting, kSettingCount>;

// What the agent makes of one setting: its number or text, and whether the registry's value
// is used (false: the default stands in, also for an empty path).
struct EffectiveSetting {
    std::uint32_t number = 0;
    std::u16string text;
    bool fromRegistry = false;
};

// The agent's rule for one setting: the registry's value when it was read with the setting's
// type (and, for a path, is not empty), else the default; a path's default lies in
// `moduleFolder`.
EffectiveSetting ResolveSetting(const RawSettingValues& raw, Setting setting,
                                std::u16string_view moduleFolder);

// One snapshot of the configuration.
struct AgentSettings {
    std::int32_t cameraIndex = 0;
    std::u16string provider;
    bool enabled = false;
    std::uint64_t idleStopMs = 0;
    std::u16string producerExe;
    std::u16string repoRoot;
};

// Applies every default and fallback, each setting independently.
AgentSettings SettingsFromValues(const RawSettingValues& raw, std::u16string_view moduleFolder);

// The setting of this name, matched without regard to the case of ASCII letters as the
// registry matches value names; nothing for a name the agent does not read.
std::optional<Setting> FindSetting(std::u16string_view name);

}  // namespace orbelune
