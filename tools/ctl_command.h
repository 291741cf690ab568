// The control tool's command line and its rules for setting values, as pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orbelune {

// The per-user logon entry that starts the agent in every session of this user.
inline constexpr std::u16string_view kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::u16string_view kRunValueName = u"OrbeluneCameraAgent";
inline constexpr std::u16string_view kAgentExeName = u"orbelune_vcam_agent.exe";

// Exit codes, as Windows command-line tools have them.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct CtlCommand {
    enum class Kind { kHelp, kStatus, kSet, kUnset, kInstall, kUninstall };
    Kind kind = Kind::kHelp;
    bool json = false;     // status --json
    std::u16string name;   // set, unset
    std::u16string value;  // set
};

// The command, or a message saying what is wrong with the arguments (a usage error).
struct ParsedCommand {
    std::optional<CtlCommand> command;
    std::u16string error;
};

// `arguments` without the program's own name.
ParsedCommand ParseCtlArguments(std::span<const std::u16string> arguments);

enum class SettingType { kDword, kString };

// A value ready to be stored: the name as the agent spells it, the registry type it reads, and
// the data.
struct SettingWrite {
    std::u16string name;
    SettingType type = SettingType::kDword;
    std::uint32_t dword = 0;
    std::u16string text;
};

struct CheckedSetting {
    std::optional<SettingWrite> write;
    std::u16string error;
};

// The agent's spelling and type of a setting name, matched without regard to ASCII case as
// the registry matches value names; nothing for a name the agent does not read.
std::optional<std::pair<std::u16string_view, SettingType>> FindSetting(std::u16string_view name);

// Checks a value given for `name` against what the agent can read back: CameraIndex a decimal
// -2147483648..2147483647 (stored as its 32 bits), Enabled 0 or 1, IdleStopMs a decimal
// 0..4294967295, the three strings at most 1023 characters (longer ones the agent ignores).
CheckedSetting CheckSetting(std::u16string_view name, std::u16string_view value);

}  // namespace orbelune
