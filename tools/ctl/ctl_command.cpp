#include "tools/ctl/ctl_command.h"

#include <algorithm>
#include <charconv>

#include "common/text.h"

namespace orbelune {
namespace {

// The lowest and highest number of each kind, as the agent reads it back.
using NumberRange = std::pair<std::int64_t, std::int64_t>;
NumberRange RangeOf(SettingKind kind) {
    return kind == SettingKind::kSignedNumber ? NumberRange{INT32_MIN, INT32_MAX}
           : kind == SettingKind::kSwitch     ? NumberRange{0, 1}
                                              : NumberRange{0, UINT32_MAX};
}
// What `set` takes for a setting of `kind`, as the usage and the errors say it.
std::string ValuesText(SettingKind kind) {
    const auto [low, high] = RangeOf(kind);
    return kind == SettingKind::kSwitch ? "0 or 1"
           : IsNumberKind(kind)
               ? std::to_string(low) + ".." + std::to_string(high)
               : "text, at most " + std::to_string(kMaxSettingLength) + " characters";
}

std::u16string Quoted(std::u16string_view text) {
    return std::u16string(u"'").append(text) + u"'";
}

// The error for a name the agent does not read, listing the names it does.
std::u16string UnknownSettingError(std::u16string_view name) {
    std::u16string error = u"unknown setting " + Quoted(name) + u"; the agent reads ";
    for (size_t i = 0; i < kSettingCount; ++i) {
        error += i == 0 ? u"" : i + 1 == kSettingCount ? u" and " : u", ";
        error += kSettingRows[i].name;
    }
    return error;
}

}  // namespace

Checked<CtlCommand> ParseCtlArguments(std::span<const std::u16string> arguments) {
    using enum CtlCommand::Kind;
    // Each command, the arguments it needs, and whether it takes --json instead.
    static constexpr struct {
        std::u16string_view verb;
        CtlCommand::Kind kind;
        size_t needs;
        bool json;
    } kVerbs[] = {{u"help", kHelp, 0, false},       {u"status", kStatus, 0, true},
                  {u"doctor", kDoctor, 0, true},    {u"cameras", kCameras, 0, true},
                  {u"set", kSet, 2, false},         {u"unset", kUnset, 1, false},
                  {u"install", kInstall, 0, false}, {u"uninstall", kUninstall, 0, false}};
    if (arguments.empty()) {
        return {std::nullopt, u"no command given"};
    }
    constexpr std::u16string_view kHelpOptions[] = {u"--help", u"-h", u"/?"};
    if (std::ranges::find_first_of(arguments, kHelpOptions) != arguments.end()) {
        return {CtlCommand{}, {}};
    }
    const std::u16string& verb = arguments[0];
    const auto rest = arguments.subspan(1);
    const auto* row = std::ranges::find_if(kVerbs, [&](const auto& r) { return r.verb == verb; });
    if (row == std::end(kVerbs)) {
        return {std::nullopt, u"unknown command " + Quoted(verb)};
    }
    const bool json = row->json && !rest.empty() && rest[0] == u"--json";
    const size_t expected = json ? 1 : row->needs;
    if (rest.size() != expected) {
        return {std::nullopt,
                rest.size() > expected
                    ? u"unexpected argument " + Quoted(rest[expected]) + u" after " + verb
                : expected == 2 ? verb + u" needs a NAME and a VALUE"
                                : verb + u" needs a NAME"};
    }
    if (row->needs > 0 && !FindSetting(rest[0])) {
        return {std::nullopt, UnknownSettingError(rest[0])};
    }
    return {
        CtlCommand{row->kind, json, row->needs > 0 ? rest[0] : u"", row->needs > 1 ? rest[1] : u""},
        {}};
}

Checked<SettingWrite> CheckSetting(Setting setting, std::u16string_view value) {
    const SettingRow& row = RowOf(setting);
    const std::u16string canonical(row.name);
    if (!IsNumberKind(row.kind)) {
        if (value.size() > kMaxSettingLength) {
            return {std::nullopt,
                    canonical + Latin1ToU16(" is too long (" + std::to_string(value.size()) +
                                            " characters); the agent reads at most " +
                                            std::to_string(kMaxSettingLength))};
        }
        // A line break would split the agent's log line that carries the value.
        if (std::ranges::any_of(value, [](char16_t unit) { return unit < u' '; })) {
            return {std::nullopt, canonical + u" holds a control character, such as a line break"};
        }
        return {SettingWrite{canonical, false, 0, std::u16string(value)}, {}};
    }
    // Decimal digits with an optional leading minus sign, within the kind's range.
    const auto [low, high] = RangeOf(row.kind);
    const std::string digits = ToUtf8(value);
    const char* end = digits.data() + digits.size();
    std::int64_t number = 0;
    const auto [at, error] = std::from_chars(digits.data(), end, number);
    if (error != std::errc() || at != end || number < low || number > high) {
        return {std::nullopt, canonical + u" takes " + Latin1ToU16(ValuesText(row.kind)) +
                                  u", not " + Quoted(value)};
    }
    // A negative index as its 32 bits.
    return {SettingWrite{canonical, true, static_cast<std::uint32_t>(number), {}}, {}};
}

std::string CtlUsage() {
    // The values `set` takes, a line for each setting.
    std::string values;
    for (const SettingRow& row : kSettingRows) {
        std::string name = ToUtf8(row.name);
        name.resize(13, ' ');
        values += std::string(24, ' ') + name + ValuesText(row.kind) +
                  (row.unit.empty() ? "" : " (" + ToUtf8(row.unit) + ")") + "\n";
    }
    return R"(Usage: orbelune_vcam_ctl COMMAND

Shows and changes the Orbelune camera agent of this user and session.

Commands (--json gives the report as one JSON object):
  status [--json]     the settings and where each comes from, the agent, the producer,
                      the logon entries, the shared blocks and the last lines of the log
  doctor [--json]     what stands between the user and a working camera, each problem
                      with its evidence and what to do; exit code 1 when it finds one
  cameras [--json]    the cameras as CameraIndex counts them, which are virtual and why
                      one cannot be opened; exit code 1 when they cannot be listed
  set NAME VALUE      store a setting under HKEY_CURRENT_USER\)" +
           ToUtf8(kSettingsKey) + ":\n" + values +
           R"(                      The running agent picks a change up within half a second.
  unset NAME          remove a setting, so that the agent uses its default
  install             start )" +
           ToUtf8(kAgentExeName) + R"( (beside this tool) at every logon of
                      this user, through HKEY_CURRENT_USER\)" +
           ToUtf8(kRunKey) + R"(
  uninstall           remove that logon entry
  --help, -h, /?      show this text

Exit codes: 0 success, 1 failure, 2 usage error (bad command, setting name or value).
)";
}

}  // namespace orbelune
