// The rules about the agent's processes: whether it runs, makes progress and starts at logon,
// the agents of other sessions, and the producer it starts or cannot start.
#include <algorithm>

#include "agent/agent_names.h"
#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

// How long the agent may stamp nothing: its longest pass (a producer's stop waits up to
// kStopWaitMs) and its one-second interval between stamps.
constexpr std::uint64_t kProgressWindowMs = 4000;

std::string RunValue(bool machine) {
    return std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + ToUtf8(kRunKey) +
           "\\" + ToUtf8(kRunValueName);
}

bool SamePath(std::u16string_view a, std::u16string_view b) {
    return ToLowerUnits(a) == ToLowerUnits(b);
}

// Whether the consumers blocks show the agent at work: some stamp moved while watched. Nothing
// when no block of this release was there to watch, or the watch was too short to tell.
std::optional<bool> AgentProgress(const Facts& facts, const SectionFacts** watched) {
    std::optional<bool> progress;
    for (const SectionFacts& s : facts.consumers) {
        if (IsStampedConsumers(s) &&
            (Moved(s) || s.samples.back().now - s.samples.front().now >= kProgressWindowMs)) {
            *watched = &s;
            progress = progress.value_or(false) || Moved(s);
        }
    }
    return progress;
}

void FindLogonProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    if (!f.userEntry && !f.machineEntry) {
        findings.push_back({"no-logon-entry",
                            "the agent does not start at logon: neither logon entry exists",
                            {"no value " + RunValue(false), "no value " + RunValue(true)},
                            "install the MSI (for every user), or run `orbelune_vcam_ctl install` "
                            "beside the agent (for this user)"});
    }
    for (const bool machine : {false, true}) {
        const std::optional<LogonEntry>& entry = machine ? f.machineEntry : f.userEntry;
        if (!entry || (!entry->startError && entry->image.empty())) {
            continue;
        }
        const std::string whose = machine ? "for all users" : "for this user";
        std::vector<std::string> evidence = {RunValue(machine) + " = " + ToUtf8(entry->stored)};
        if (entry->expanded != entry->stored) {
            evidence.push_back("expanded: " + ToUtf8(entry->expanded));
        }
        const std::string repair = machine ? "repair or reinstall the MSI"
                                           : "run `orbelune_vcam_ctl install` beside the agent, "
                                             "or `orbelune_vcam_ctl uninstall` to remove the entry";
        if (entry->startError) {
            evidence.push_back("Windows cannot start it: " + ToUtf8(entry->startError->text));
            findings.push_back({"logon-entry-missing-program",
                                "the logon entry " + whose + " starts no program", evidence,
                                repair});
        } else if (!entry->agent) {
            evidence.push_back("it starts " + ToUtf8(entry->image) +
                               ", whose version resource is not the agent's");
            findings.push_back({"logon-entry-not-agent",
                                "the logon entry " + whose +
                                    " starts another program than the "
                                    "agent",
                                evidence, repair});
        } else if (c.agent && !c.agent->path.empty() && !SamePath(entry->image, c.agent->path)) {
            evidence.push_back("it starts " + ToUtf8(entry->image));
            evidence.push_back("running: " + ToUtf8(c.agent->path));
            findings.push_back({"logon-entry-other-copy",
                                "the logon entry " + whose +
                                    " starts another copy of the agent than the one running",
                                evidence,
                                "keep one copy: run `orbelune_vcam_ctl install` beside the copy "
                                "to keep, or remove the other"});
        }
    }
}

}  // namespace

void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    const std::string agentName = ToUtf8(kAgentExeName);
    if (!f.agentMutex) {
        findings.push_back(
            {"agent-not-running",
             "no agent runs in this session",
             {"no mutex " + ToUtf8(std::wstring_view(kSingletonMutexName)) + " in this session"},
             "start " + agentName + "; with a logon entry it starts by itself at every logon"});
    }
    const SectionFacts* watched = nullptr;
    if (f.agentMutex && c.otherSessions.empty() && !AgentProgress(f, &watched).value_or(true)) {
        const Sample& last = watched->samples.back();
        const std::uint64_t stamped = watched->samples.front().updatedTick;
        const std::string pid = c.agent ? std::to_string(c.agent->id) : "";
        findings.push_back(
            {"agent-frozen",
             "the agent runs but makes no progress: it is frozen (suspended) or hung",
             {ToUtf8(watched->name) + ": updatedTick " + std::to_string(stamped) +
                  ", unchanged for " +
                  std::to_string(last.now - std::min(stamped, watched->samples.front().now)) +
                  " ms; the agent stamps it about every second",
              c.agent ? ToUtf8(c.agent->image) + ": process id " + pid
                      : "no agent process found in this session"},
             (c.agent ? "end the agent (taskkill /f /pid " + pid + ")"
                      : std::string("end the agent in Task Manager")) +
                 " and start " + agentName + " again; its producer ends with it"});
    }
    FindLogonProblems(c, findings);
    if (!c.otherSessions.empty()) {
        const bool global =
            std::any_of(f.consumers.begin(), f.consumers.end(), [&](const SectionFacts& s) {
                return &s == AgentSection(f.consumers) && s.name.starts_with(u"Global\\");
            });
        if (global) {
            findings.push_back(
                {"agents-in-other-sessions",
                 "agents of other sessions write the same Global\\ capabilities and consumers "
                 "blocks as this session's: the virtual camera sees each agent's formats and "
                 "consumers in turn, and the blocks cannot tell whether this session's agent "
                 "works",
                 {"agents run in sessions " + c.otherSessions + " besides this one (" +
                      std::to_string(f.session) + ")",
                  "they write the same log, " + ToUtf8(f.logPath)},
                 "judge this session alone with the other users signed out; the virtual camera "
                 "must expect one writer per session under Global\\"});
        }
    }
}

// What keeps the agent from running its producer: now, when frames are wanted and none of its
// own runs, or at its next start, whatever the demand; and producers it did not start.
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    // A failed start counts until a start succeeds after it.
    const std::optional<std::string> failed =
        LastLine(c.recentLines, kProducerStartFailedPrefix, kProducerStartedPrefix);
    const std::optional<std::string> past = LastLine(c.pastLines, kProducerStartFailedPrefix);
    Finding finding{"", "", {}, "look at the last lines of the log (orbelune_vcam_ctl status)"};
    std::string why;
    const std::string set = "orbelune_vcam_ctl set ProducerExe PATH";
    const std::optional<SystemError>& error = f.producerStartError;
    if (IsAbsolutePath(c.settings.producerExe) && f.producerArguments.empty()) {
        finding.kind = "producer-missing";
        why = "ProducerExe is not there";
        finding.action = "install the producer there, or point ProducerExe at it: " + set;
    } else if (error && (f.producerIsFolder || error->code == 193 || error->code == 216 ||
                         error->code == 11 || error->code == 191)) {
        finding.kind = "producer-not-a-program";
        why = f.producerIsFolder ? "ProducerExe is a folder, not a program"
                                 : "ProducerExe is not a program";
        finding.action = "point ProducerExe at the producer's program: " + set;
    } else if (error || failed.has_value()) {
        finding.kind = "producer-start-failed";
        why = "the agent cannot start it";
        finding.action = "mend what the error names";
    } else if (!c.wanted) {
        finding.kind.clear();
    } else if (c.control &&
               std::any_of(f.consumers.begin(), f.consumers.end(), [&](const SectionFacts& s) {
                   return Moved(s) && s.name[0] != c.control->name[0];
               })) {
        finding.kind = "agent-on-other-sections";
        why = "the agent works on the sections under the other namespace";
        finding.action = "end " + ToUtf8(kAgentExeName) +
                         " and start it again, so that it maps the sections that are there now";
    } else {
        finding.kind = "producer-not-running";
    }
    if (!finding.kind.empty()) {
        const TickReading& latest = c.status.demandTick.value >= c.status.consumerStartTick.value
                                        ? c.status.demandTick
                                        : c.status.consumerStartTick;
        finding.problem = c.wanted ? "frames are wanted but no producer runs"
                                   : "the agent cannot start the producer at the next demand";
        finding.problem += why.empty() ? "" : ": " + why;
        if (c.wanted) {
            finding.evidence.push_back(TickText(
                &latest == &c.status.demandTick ? "demandTick" : "consumerStartTick", latest));
        }
        finding.evidence.push_back("ProducerExe = " + ToUtf8(c.settings.producerExe));
        if (error) {
            finding.evidence.push_back(
                "Windows refuses to start it with the agent's command "
                "line: " +
                ToUtf8(error->text));
        } else if (f.producerTried && failed.has_value()) {
            finding.evidence.push_back("Windows starts it now with the agent's command line");
        }
        for (const auto& line : {failed, LastLine(c.recentLines, kProducerNotFoundPrefix)}) {
            if (line) {
                finding.evidence.push_back("log: " + *line);
                NoteSharedLog(c, finding);
            }
        }
        if (past && !failed) {
            finding.evidence.push_back(
                "log, before the settings last changed or the agent last "
                "started: " +
                *past);
        }
        findings.push_back(std::move(finding));
    }

    // Producers in this session that the agent did not start: it neither watches nor stops
    // them, and starts its own beside them.
    const std::u16string image = ToLowerUnits(FileNameOfPath(
        f.producerArguments.empty() ? c.settings.producerExe : f.producerArguments.front()));
    std::vector<std::string> evidence;
    std::string pids;
    for (const ProcessFacts& p : f.processes) {
        if (p.session == f.session && ToLowerUnits(p.image) == image && !StartedByAgent(f, p)) {
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
