// The rules about the agent itself: whether it runs and starts at logon, its settings and
// its log.
#include <algorithm>

#include "agent/agent_names.h"
#include "agent/producer.h"
#include "common/path.h"
#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;

std::string RunKeyPath(bool machine) {
    return std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + Utf8(kRunKey) +
           "\\" + Utf8(kRunValueName);
}

std::string SettingPath(Setting setting) {
    return "HKEY_CURRENT_USER\\" + Utf8(kSettingsKey) + "\\" + Utf8(RowOf(setting).name);
}

}  // namespace

void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!s.agentRunning) {
        findings.push_back(
            {"agent-not-running",
             "no agent runs in this session",
             {"no mutex " + Utf8(std::wstring_view(kSingletonMutexName)) + " in this session"},
             "start " + Utf8(kAgentExeName) +
                 "; with a logon entry it starts by itself at every logon"});
    }
    const AgentProgress& progress = c.facts.progress;
    if (s.agentRunning && progress.watched && !progress.advanced) {
        const std::string pid = c.facts.agent ? std::to_string(c.facts.agent->id) : "";
        findings.push_back(
            {"agent-frozen",
             "the agent runs but makes no progress: it is frozen (suspended) or hung",
             {Utf8(progress.section) + ": updatedTick " + std::to_string(progress.updatedTick) +
                  ", unchanged for " + std::to_string(progress.staleMs) +
                  " ms; the agent stamps it about every second",
              c.facts.agent ? Utf8(kAgentExeName) + ": process id " + pid
                            : "no process named " + Utf8(kAgentExeName) + " in this session"},
             (c.facts.agent ? "end the agent (taskkill /f /pid " + pid + ")"
                            : std::string("end the agent in Task Manager")) +
                 " and start " + Utf8(kAgentExeName) + " again; its producer ends with it"});
    }
    if (!s.logonEntry && !s.machineLogonEntry) {
        findings.push_back({"no-logon-entry",
                            "the agent does not start at logon: neither logon entry exists",
                            {"no value " + RunKeyPath(false), "no value " + RunKeyPath(true)},
                            "install the MSI (for every user), or run `orbelune_vcam_ctl install` "
                            "beside the agent (for this user)"});
    }
    for (const bool machine : {false, true}) {
        const std::optional<std::u16string>& entry = machine ? s.machineLogonEntry : s.logonEntry;
        if (!entry) {
            continue;
        }
        const std::string whose = machine ? "for all users" : "for this user";
        const std::string evidence = RunKeyPath(machine) + " = " + Utf8(*entry);
        const std::u16string program = LogonEntryProgram(*entry);
        const bool exists =
            machine ? c.facts.machineLogonEntryProgramExists : c.facts.logonEntryProgramExists;
        const auto running = [&](const std::u16string& path) {
            return ToLowerUnits(path) == ToLowerUnits(program);
        };
        if (!exists) {
            findings.push_back({"logon-entry-missing-program",
                                "the logon entry " + whose + " starts a program that is not there",
                                {evidence},
                                machine ? "repair or reinstall the MSI"
                                        : "run `orbelune_vcam_ctl install` beside the agent, or "
                                          "`orbelune_vcam_ctl uninstall` to remove the entry"});
        } else if (!c.facts.agentPaths.empty() &&
                   std::none_of(c.facts.agentPaths.begin(), c.facts.agentPaths.end(), running)) {
            findings.push_back({"logon-entry-other-copy",
                                "the logon entry " + whose +
                                    " starts another copy of the agent than the one running",
                                {evidence, "running: " + Utf8(c.facts.agentPaths.front())},
                                "keep one copy: run `orbelune_vcam_ctl install` beside the copy "
                                "to keep, or remove the other"});
        }
    }
}

// Paths as the agent takes them: made absolute against its own current folder, then handed to
// the producer on its command line.
void FindPathProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const AgentSettings& settings = c.settings;
    for (const auto& [setting, path] : {std::pair{Setting::kProducerExe, &settings.producerExe},
                                        {Setting::kRepoRoot, &settings.repoRoot}}) {
        if (!path->empty() && !IsAbsolutePath(*path)) {
            const std::string name = Utf8(RowOf(setting).name);
            findings.push_back({"relative-path",
                                name + " is a relative path: the agent resolves it against its own "
                                       "current folder, which depends on how it was started",
                                {SettingPath(setting) + " = " + Utf8(*path)},
                                "orbelune_vcam_ctl set " + name + " FULL-PATH"});
        }
    }
    const std::u16string& root = c.facts.repoRootFullPath;
    if (IsAbsolutePath(settings.repoRoot) && !c.facts.repoRootIsFolder) {
        findings.push_back({"repo-root-missing",
                            "RepoRoot is not a folder: the producer is handed a repository root "
                            "that is not there",
                            {"RepoRoot = " + Utf8(root)},
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
        const std::string name = Utf8(RowOf(setting).name);
        const std::string got = at < received.size() ? Utf8(received[at]) : "nothing";
        std::u16string trimmed = meant[at];
        while (!trimmed.empty() && trimmed.back() == u'\\') {
            trimmed.pop_back();
        }
        std::string problem = name;
        problem += meant[at].ends_with(u'\\')
                       ? " ends in a backslash, which escapes the quote after it"
                       : " holds a backslash before a double quote, which upsets its quoting";
        problem += ": the producer receives " + got;
        problem += " instead of " + Utf8(meant[at]);
        findings.push_back(
            {"argument-misquoted",
             problem,
             {"producer command line: " + Utf8(line)},
             trimmed.empty() || trimmed.back() == u':'
                 ? "orbelune_vcam_ctl set " + name + " VALUE, with no backslash at its end"
                 : "orbelune_vcam_ctl set " + name + " " + Utf8(trimmed)});
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
        std::string problem = "the setting " + Utf8(row.name) + " " + why;
        problem += "; the agent uses its default, ";
        problem += Utf8(SettingText(row.kind, ResolveSetting(s.raw, setting, s.moduleFolder)));
        findings.push_back({"setting-ignored",
                            problem,
                            {SettingPath(setting)},
                            "orbelune_vcam_ctl set " + Utf8(row.name) +
                                " VALUE stores it as the agent reads it; orbelune_vcam_ctl unset " +
                                Utf8(row.name) + " removes it"});
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

void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (ToLowerUnits(s.logPath) != ToLowerUnits(c.facts.expectedLogPath)) {
        findings.push_back(
            {"log-fallback",
             "the log has fallen back to another folder",
             {"expected: " + (c.facts.expectedLogPath.empty()
                                  ? std::string("the ProgramData known folder cannot be had")
                                  : Utf8(c.facts.expectedLogPath)),
              "the agent writes: " + Utf8(s.logPath)},
             "check that the ProgramData folder exists and is readable"});
    }
    const std::optional<std::uint32_t> error = c.facts.logOpenError;
    const bool missing = error == kErrorFileNotFound || error == kErrorPathNotFound;
    if (error && (!missing || s.agentRunning)) {
        findings.push_back({"log-not-writable",
                            "the log cannot be written where it should be",
                            {Utf8(s.logPath) + ": " + Utf8(c.facts.logOpenErrorText)},
                            "let the agent's users create and write " +
                                Utf8(FolderOfPath(s.logPath)) +
                                ", or end the program that holds the file"});
    }
}

}  // namespace orbelune
