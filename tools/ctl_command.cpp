#include "tools/ctl_command.h"

#include <array>

#include "common/path.h"
#include "config/settings.h"

namespace orbelune {
namespace {

constexpr std::array<std::pair<std::u16string_view, SettingType>, 6> kSettings = {{
    {kCameraIndexValue, SettingType::kDword},
    {kProviderValue, SettingType::kString},
    {kEnabledValue, SettingType::kDword},
    {kIdleStopMsValue, SettingType::kDword},
    {kProducerExeValue, SettingType::kString},
    {kRepoRootValue, SettingType::kString},
}};

// The longest string the agent reads back: its buffer holds this many units and a terminator.
constexpr size_t kMaxSettingLength = kSettingStringBufferBytes / 2 - 1;

char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// Decimal digits with an optional leading minus sign, as a value that cannot overflow for the
// lengths accepted; nothing for any other text.
std::optional<std::int64_t> ParseDecimal(std::u16string_view text) {
    const bool negative = !text.empty() && text.front() == u'-';
    if (negative) {
        text.remove_prefix(1);
    }
    // Leading zeros aside, more than ten digits is out of every range here.
    while (text.size() > 1 && text.front() == u'0') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

std::u16string Quoted(std::u16string_view text) {
    return u"'" + std::u16string(text) + u"'";
}

}  // namespace

ParsedCommand ParseCtlArguments(std::span<const std::u16string> arguments) {
    ParsedCommand parsed;
    if (arguments.empty()) {
        parsed.error = u"no command given";
        return parsed;
    }
    const std::u16string_view verb = arguments[0];
    const auto rest = arguments.subspan(1);
    for (const std::u16string& argument : arguments) {
        if (argument == u"--help" || argument == u"-h" || argument == u"/?") {
            parsed.command = CtlCommand{};
            return parsed;
        }
    }
    CtlCommand command;
    size_t expected = 0;
    if (verb == u"help") {
        command.kind = CtlCommand::Kind::kHelp;
    } else if (verb == u"status") {
        command.kind = CtlCommand::Kind::kStatus;
        if (!rest.empty() && rest[0] == u"--json") {
            command.json = true;
            expected = 1;
        }
    } else if (verb == u"set") {
        command.kind = CtlCommand::Kind::kSet;
        expected = 2;
    } else if (verb == u"unset") {
        command.kind = CtlCommand::Kind::kUnset;
        expected = 1;
    } else if (verb == u"install") {
        command.kind = CtlCommand::Kind::kInstall;
    } else if (verb == u"uninstall") {
        command.kind = CtlCommand::Kind::kUninstall;
    } else {
        parsed.error = u"unknown command " + Quoted(verb);
        return parsed;
    }
    if (rest.size() < expected) {
        parsed.error = std::u16string(verb) + (command.kind == CtlCommand::Kind::kSet
                                                   ? u" needs a NAME and a VALUE"
                                                   : u" needs a NAME");
        return parsed;
    }
    if (rest.size() > expected) {
        parsed.error =
            u"unexpected argument " + Quoted(rest[expected]) + u" after " + std::u16string(verb);
        return parsed;
    }
    if (command.kind == CtlCommand::Kind::kSet || command.kind == CtlCommand::Kind::kUnset) {
        command.name = rest[0];
    }
    if (command.kind == CtlCommand::Kind::kSet) {
        command.value = rest[1];
    }
    parsed.command = std::move(command);
    return parsed;
}

std::optional<std::pair<std::u16string_view, SettingType>> FindSetting(std::u16string_view name) {
    for (const auto& setting : kSettings) {
        if (EqualsIgnoringAsciiCase(setting.first, name)) {
            return setting;
        }
    }
    return std::nullopt;
}

CheckedSetting CheckSetting(std::u16string_view name, std::u16string_view value) {
    CheckedSetting checked;
    const auto setting = FindSetting(name);
    if (!setting) {
        checked.error = u"unknown setting " + Quoted(name) +
                        u"; the agent reads CameraIndex, Provider, Enabled, IdleStopMs, "
                        u"ProducerExe and RepoRoot";
        return checked;
    }
    const std::u16string_view canonical = setting->first;
    SettingWrite write{std::u16string(canonical), setting->second, 0, {}};
    if (setting->second == SettingType::kString) {
        if (value.size() > kMaxSettingLength) {
            checked.error = std::u16string(canonical) + u" is too long (" +
                            DecimalText(static_cast<unsigned long long>(value.size())) +
                            u" characters); the agent reads at most 1023";
            return checked;
        }
        write.text = value;
        checked.write = std::move(write);
        return checked;
    }

    std::int64_t low = 0;
    std::int64_t high = 0xFFFFFFFF;
    std::u16string_view range = u"a whole number from 0 to 4294967295";
    if (canonical == kCameraIndexValue) {
        low = -2147483648LL;
        high = 2147483647;
        range = u"a whole number from -2147483648 to 2147483647";
    } else if (canonical == kEnabledValue) {
        high = 1;
        range = u"0 or 1";
    }
    const auto number = ParseDecimal(value);
    if (!number || *number < low || *number > high) {
        checked.error = std::u16string(canonical) + u" takes " + std::u16string(range) + u", not " +
                        Quoted(value);
        return checked;
    }
    write.dword = static_cast<std::uint32_t>(*number);  // a negative index as its 32 bits
    checked.write = std::move(write);
    return checked;
}

}  // namespace orbelune
