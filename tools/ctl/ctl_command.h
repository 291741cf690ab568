// The control tool's command line and its rules for setting values, as pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "agent/agent_names.h"
#include "config/settings.h"

namespace orbelune {

// The per-user logon entry that starts the agent in every session of this user.
inline constexpr std::u16string_view kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::u16string_view kRunValueName = u"OrbeluneCameraAgent";

// Exit codes, as Windows command-line tools have them.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct CtlCommand {
    enum class Kind { kHelp, kStatus, kDoctor, kSet, kUnset, kInstall, kUninstall, kCameras };
    Kind kind = Kind::kHelp;
    bool json = false;     // status --json, doctor --json, cameras --json
    std::u16string name;   // set, unset
    std::u16string value;  // set

    bool operator==(const CtlCommand&) const = default;
};

// A value made from what the user gave, or a message saying what is wrong with it (a usage error).
template <typename T>
struct Checked {
    std::optional<T> value;
    std::u16string error;
};

// `arguments` without the program's own name; a setting's name is one the agent reads.
Checked<CtlCommand> ParseCtlArguments(std::span<const std::u16string> arguments);

// A value ready to be stored: the name as the agent spells it, REG_DWORD or REG_SZ, the data.
struct SettingWrite {
    std::u16string name;
    bool number = false;
    std::uint32_t dword = 0;
    std::u16string text;
};

// A value for `setting` checked as the agent reads it back: within range, 0 or 1, not too long.
Checked<SettingWrite> CheckSetting(Setting setting, std::u16string_view value);

std::string CtlUsage();

}  // namespace orbelune
