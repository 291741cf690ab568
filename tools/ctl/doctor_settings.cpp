// The rules about the settings as the agent takes them: values it ignores or cannot use, and
// paths that do not reach the producer as they were meant.
#include "agent/producer.h"
#include "common/text.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

std::string SettingPath(Setting setting) {
    return "HKEY_CURRENT_USER\\" + ToUtf8(kSettingsKey) + "\\" + ToUtf8(RowOf(setting).name);
}

}  // namespace

bool IsAbsolutePath(std::u16string_view path) {
    const auto separator = [&](size_t at) {
        return at < path.size() && (path[at] == u'\\' || path[at] == u'/');
    };
    return (separator(0) && separator(1)) || (path.size() > 1 && path[1] == u':' && separator(2));
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
    std::vector<std::u16string> arguments;
    size_t at = 0;
    while (true) {
        while (at < commandLine.size() && (commandLine[at] == u' ' || commandLine[at] == u'\t')) {
            ++at;
        }
        if (at == commandLine.size()) {
            return arguments;
        }
        std::u16string argument;
        bool quoted = false;
        for (; at < commandLine.size(); ++at) {
            const char16_t c = commandLine[at];
            if (!quoted && (c == u' ' || c == u'\t')) {
                break;
            }
            if (c == u'\\') {
                size_t count = 0;
                while (at < commandLine.size() && commandLine[at] == u'\\') {
                    ++count, ++at;
                }
                const bool beforeQuote = at < commandLine.size() && commandLine[at] == u'"';
                argument.append(beforeQuote ? count / 2 : count, u'\\');
                if (beforeQuote && count % 2 == 1) {
                    argument += u'"';
                } else {
                    --at;  // the quote, or the character after the backslashes, comes next
                }
            } else if (c == u'"') {
                quoted = !quoted;
            } else {
                argument += c;
            }
        }
        arguments.push_back(std::move(argument));
    }
}

// Paths as the agent takes them: made absolute against its own current folder, then handed to
// the producer on its command line.
void FindPathProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const AgentSettings& settings = c.settings;
    for (const auto& [setting, path] : {std::pair{Setting::kProducerExe, &settings.producerExe},
                                        {Setting::kRepoRoot, &settings.repoRoot}}) {
        if (!path->empty() && !IsAbsolutePath(*path)) {
            const std::string name = ToUtf8(RowOf(setting).name);
            findings.push_back({"relative-path",
                                name + " is a relative path: the agent resolves it against its own "
                                       "current folder, which depends on how it was started",
                                {SettingPath(setting) + " = " + ToUtf8(*path)},
                                "orbelune_vcam_ctl set " + name + " FULL-PATH"});
        }
    }
    const std::u16string& root = c.facts.repoRootFullPath;
    if (IsAbsolutePath(settings.repoRoot) && !c.facts.repoRootIsFolder) {
        findings.push_back({"repo-root-missing",
                            "RepoRoot is not a folder: the producer is handed a repository root "
                            "that is not there",
                            {"RepoRoot = " + ToUtf8(root)},
                            "orbelune_vcam_ctl set RepoRoot FOLDER, or orbelune_vcam_ctl unset "
                            "RepoRoot for the agent's folder"});
    }
    // What the producer receives, from the command line the agent builds.
    const std::vector<std::u16string> meant =
        ProducerArguments(c.facts.producerFullPath, settings.provider, settings.cameraIndex, root);
    const std::u16string line = BuildProducerCommandLine(meant);
    const std::vector<std::u16string> received = SplitCommandLine(line);
    for (const auto& [setting, at] :
         {std::pair{Setting::kProvider, size_t{4}}, {Setting::kRepoRoot, size_t{8}}}) {
        if (received.size() == meant.size() && received[at] == meant[at]) {
            continue;
        }
        const std::string name = ToUtf8(RowOf(setting).name);
        const std::string got = at < received.size() ? ToUtf8(received[at]) : "nothing";
        std::u16string trimmed = meant[at];
        while (!trimmed.empty() && trimmed.back() == u'\\') {
            trimmed.pop_back();
        }
        std::string problem = name;
        problem += meant[at].ends_with(u'\\')
                       ? " ends in a backslash, which escapes the quote after it"
                       : " holds a backslash before a double quote, which upsets its quoting";
        problem += ": the producer receives " + got;
        problem += " instead of " + ToUtf8(meant[at]);
        findings.push_back(
            {"argument-misquoted",
             problem,
             {"producer command line: " + ToUtf8(line)},
             trimmed.empty() || trimmed.back() == u':'
                 ? "orbelune_vcam_ctl set " + name + " VALUE, with no backslash at its end"
                 : "orbelune_vcam_ctl set " + name + " " + ToUtf8(trimmed)});
        break;
    }
}

void FindSettingProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!c.settings.enabled) {
        findings.push_back({"disabled",
                            "the agent is disabled: Enabled is 0, so it starts no producer",
                            {SettingPath(Setting::kEnabled) + " = 0"},
                            "orbelune_vcam_ctl set Enabled 1"});
    }
    for (size_t i = 0; i < kSettingCount; ++i) {
        const RawSetting::Outcome outcome = s.raw[i].outcome;
        if (outcome == RawSetting::Outcome::kMissing || outcome == RawSetting::Outcome::kValue) {
            continue;
        }
        const auto setting = static_cast<Setting>(i);
        const SettingRow& row = RowOf(setting);
        const std::string why =
            outcome == RawSetting::Outcome::kOtherType
                ? std::string("is stored as another type than ") +
                      (IsNumberKind(row.kind) ? "REG_DWORD" : "REG_SZ")
            : outcome == RawSetting::Outcome::kTooLong
                ? "is longer than " + std::to_string(kMaxSettingLength) + " characters"
                : "cannot be read";
        std::string problem = "the setting " + ToUtf8(row.name) + " " + why;
        problem += "; the agent uses its default, ";
        problem += ToUtf8(SettingText(row.kind, ResolveSetting(s.raw, setting, s.moduleFolder)));
        findings.push_back({"setting-ignored",
                            problem,
                            {SettingPath(setting)},
                            "orbelune_vcam_ctl set " + ToUtf8(row.name) +
                                " VALUE stores it as the agent reads it; orbelune_vcam_ctl unset " +
                                ToUtf8(row.name) + " removes it"});
    }
    if (c.settings.cameraIndex < 0) {
        findings.push_back(
            {"negative-camera-index",
             "CameraIndex is negative: the agent publishes only the 1280x720 fallback format "
             "and hands " +
                 std::to_string(c.settings.cameraIndex) + " to the producer",
             {SettingPath(Setting::kCameraIndex) + " = " + std::to_string(c.settings.cameraIndex)},
             "orbelune_vcam_ctl set CameraIndex 0 (or the index of the camera to use)"});
    }
}

}  // namespace orbelune
