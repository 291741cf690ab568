// The rules about the agent's processes: whether it runs, makes progress and starts at logon,
// and the producer it should have started or did not start.
#include <algorithm>

#include "agent/agent_names.h"
#include "agent/producer.h"
#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {

std::u16string LogonEntryProgram(std::u16string_view command) {
    while (!command.empty() && command.front() == u' ') {
        command.remove_prefix(1);
    }
    if (!command.empty() && command.front() == u'"') {
        command.remove_prefix(1);
        return std::u16string(command.substr(0, command.find(u'"')));
    }
    return std::u16string(command.substr(0, command.find(u' ')));
}

namespace {

std::string RunKeyPath(bool machine) {
    return std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + ToUtf8(kRunKey) +
           "\\" + ToUtf8(kRunValueName);
}

}  // namespace

void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!s.agentRunning) {
        findings.push_back(
            {"agent-not-running",
             "no agent runs in this session",
             {"no mutex " + ToUtf8(std::wstring_view(kSingletonMutexName)) + " in this session"},
             "start " + ToUtf8(kAgentExeName) +
                 "; with a logon entry it starts by itself at every logon"});
    }
    const AgentProgress& progress = c.facts.progress;
    if (s.agentRunning && progress.watched && !progress.advanced) {
        const std::string pid = c.facts.agent ? std::to_string(c.facts.agent->id) : "";
        findings.push_back(
            {"agent-frozen",
             "the agent runs but makes no progress: it is frozen (suspended) or hung",
             {ToUtf8(progress.section) + ": updatedTick " + std::to_string(progress.updatedTick) +
                  ", unchanged for " + std::to_string(progress.staleMs) +
                  " ms; the agent stamps it about every second",
              c.facts.agent ? ToUtf8(kAgentExeName) + ": process id " + pid
                            : "no process named " + ToUtf8(kAgentExeName) + " in this session"},
             (c.facts.agent ? "end the agent (taskkill /f /pid " + pid + ")"
                            : std::string("end the agent in Task Manager")) +
                 " and start " + ToUtf8(kAgentExeName) + " again; its producer ends with it"});
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
        const std::string evidence = RunKeyPath(machine) + " = " + ToUtf8(*entry);
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
                                {evidence, "running: " + ToUtf8(c.facts.agentPaths.front())},
                                "keep one copy: run `orbelune_vcam_ctl install` beside the copy "
                                "to keep, or remove the other"});
        }
    }
}

// What keeps the agent from running its producer: now, when frames are wanted and none of its
// own runs, or at its next start, whatever the demand.
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    std::optional<ControlStatus> status;
    if (c.control) {
        status = JudgeControlBlock(*c.control, s.now);
    }
    const bool wanted = status && status->demand && c.settings.enabled && !c.producer;
    // A relative ProducerExe is its own finding: whether something is there depends on the
    // agent's current folder, not on this tool's.
    const bool absolute = IsAbsolutePath(c.settings.producerExe);
    const std::optional<std::string> failed = LastRecentFailure(c, kProducerStartFailedPrefix);
    const std::optional<std::string> notFound = LastRecentFailure(c, kProducerNotFoundPrefix);
    Finding finding{"producer-not-running",
                    "",
                    {},
                    "look at the last lines of the log "
                    "(orbelune_vcam_ctl status)"};
    std::string why;
    if (absolute && !c.facts.producerExists) {
        finding.kind = "producer-missing";
        why = "ProducerExe is not there";
        finding.action =
            "install the producer there, or point ProducerExe at it: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (absolute && c.facts.producerHead != "MZ") {
        finding.kind = "producer-not-a-program";
        why = "ProducerExe is not a program";
        finding.action =
            "point ProducerExe at the producer's program: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (failed) {
        finding.kind = "producer-start-failed";
        why = "the agent cannot start it";
        finding.action = "mend what the error in the log line names";
    } else if (!wanted) {
        return;
    } else if (const std::u16string& name = c.controlSection.name;
               c.facts.progress.advanced && !name.empty() &&
               !c.facts.progress.section.starts_with(name.substr(0, name.find(u'\\') + 1))) {
        // The agent stamps the consumers block under the other namespace: it mapped its
        // sections there, before the virtual camera made the ones it stamps now.
        finding.kind = "agent-on-other-sections";
        why = "the agent works on the sections under the other namespace";
        finding.evidence.push_back("the agent stamps " + ToUtf8(c.facts.progress.section));
        finding.action = "end " + ToUtf8(kAgentExeName) +
                         " and start it again, so that it maps the sections that are there now";
    }
    if (wanted) {
        const TickReading& latest = status->demandTick.value >= status->consumerStartTick.value
                                        ? status->demandTick
                                        : status->consumerStartTick;
        finding.problem = "frames are wanted but no producer runs";
        finding.evidence.push_back(TickEvidence(
            &latest == &status->demandTick ? "demandTick" : "consumerStartTick", latest));
    } else {
        finding.problem = "the agent cannot start the producer at the next demand";
    }
    if (!why.empty()) {
        finding.problem += ": " + why;
    }
    finding.evidence.push_back("ProducerExe = " + ToUtf8(c.settings.producerExe));
    for (const auto& line : {failed, notFound}) {
        if (line) {
            finding.evidence.push_back("log: " + *line);
        }
    }
    findings.push_back(std::move(finding));
}

// Producers in this session that the agent did not start: the agent neither watches nor stops
// them, and starts its own beside them.
void FindForeignProducers(const DoctorContext& c, std::vector<Finding>& findings) {
    const std::u16string& full = c.facts.producerFullPath;
    const std::u16string image =
        ToLowerUnits(FileNameOfPath(full.empty() ? c.settings.producerExe : full));
    std::vector<std::string> evidence;
    std::string pids;
    for (const ProcessFacts& p : c.facts.processes) {
        if (p.session == c.facts.session && ToLowerUnits(p.image) == image &&
            !IsStartedByAgent(c.facts, p)) {
            evidence.push_back(ToUtf8(p.image) + ": process id " + std::to_string(p.id) +
                               ", started by process id " + std::to_string(p.parentId));
            pids += " /pid " + std::to_string(p.id);
        }
    }
    if (!evidence.empty()) {
        findings.push_back({"producer-not-from-agent",
                            "a producer runs that the agent did not start: the agent neither "
                            "watches nor stops it, and starts its own beside it",
                            evidence,
                            "end it (taskkill /f" + pids +
                                "); the agent starts the producer itself when frames are wanted"});
    }
}

}  // namespace orbelune
