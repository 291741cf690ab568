// The rules about the agent's processes: the agent, its logon entries and its producer.
#include <algorithm>

#include "agent/agent_names.h"
#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor.h"

namespace orbelune {
namespace {

// The longest the agent stamps nothing: its longest pass (a stop waits kStopWaitMs) and a second.
constexpr std::uint64_t kProgressWindowMs = 4000;

// The Run value's full name; the 32-bit view's key as 64-bit Windows stores it.
std::string RunValue(bool machine, bool in32BitView = false) {
    return std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") +
           (in32BitView ? "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
                        : ToUtf8(kRunKey)) +
           "\\" + ToUtf8(kRunValueName);
}

void FindLogonProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    if (!c.facts.userEntry && !c.facts.machineEntry) {
        findings.push_back({"no-logon-entry",
                            "the agent does not start at logon: neither logon entry exists",
                            {"no value " + RunValue(false), "no value " + RunValue(true)},
                            "install the MSI (for every user), or run `orbelune_vcam_ctl install` "
                            "beside the agent (for this user)"});
    }
    for (const bool machine : {false, true}) {
        const std::optional<LogonEntry>& entry = machine ? c.facts.machineEntry : c.facts.userEntry;
        if (!entry || (!entry->startError && entry->image.empty())) {  // not asked of Windows
            continue;
        }
        // Where it starts the agent, only another copy than the one running is a fault.
        const bool copy = !entry->startError && entry->agent;
        if (copy && (!c.agent || c.agent->path.empty() ||
                     ToLowerUnits(entry->image) == ToLowerUnits(c.agent->path))) {
            continue;
        }
        Finding& finding = findings.emplace_back(Finding{
            entry->startError ? "logon-entry-missing-program"
            : copy            ? "logon-entry-other-copy"
                              : "logon-entry-not-agent",
            "the logon entry for " + std::string(machine ? "all users" : "this user") + " starts " +
                (entry->startError ? "no program"
                 : copy            ? "another copy of the agent than the one running"
                                   : "a program whose version resource is not the agent's"),
            {RunValue(machine, entry->in32BitView) + " = " + ToUtf8(entry->stored)},
            copy      ? "keep one copy: run `orbelune_vcam_ctl install` beside it, remove the other"
            : machine ? "repair or reinstall the MSI"
                      : "run `orbelune_vcam_ctl install` beside the agent, or "
                        "`orbelune_vcam_ctl uninstall` to remove the entry"});
        if (entry->expanded != entry->stored) {
            finding.evidence.push_back("expanded: " + ToUtf8(entry->expanded));
        }
        finding.evidence.push_back(
            "it starts " + (entry->startError ? "nothing: " + ToUtf8(entry->startError->text)
                                              : ToUtf8(entry->image)));
        if (copy) {
            finding.evidence.push_back("running: " + ToUtf8(c.agent->path));
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
    // Progress shows in the consumers block the agent writes, where that is of this release; a
    // block never stamped by an agent that started within the minute may wait for its first pass.
    const SectionFacts* consumers = AgentSection(f.consumers);
    const std::uint64_t stamped = consumers ? consumers->samples.front().updatedTick : 0;
    if (f.agentMutex && consumers && IsStampedConsumers(*consumers) && c.otherSessions.empty() &&
        consumers->samples.back().now - consumers->samples.front().now >= kProgressWindowMs &&
        std::ranges::none_of(f.consumers, Moved) &&
        (stamped != 0 || !LastLine(c.recentLines, kAgentStartingLine))) {
        // Unchanged since the stamp (no later than the first look); never stamped: since that look.
        const std::uint64_t first = consumers->samples.front().now;
        const std::uint64_t since = stamped != 0 ? std::min(stamped, first) : first;
        const std::string pid = c.agent ? std::to_string(c.agent->id) : "";
        findings.push_back(
            {"agent-frozen",
             "the agent runs but makes no progress: it is frozen (suspended) or hung",
             {ToUtf8(consumers->name) + ": updatedTick " + std::to_string(stamped) +
                  ", unchanged for " + std::to_string(consumers->samples.back().now - since) +
                  " ms; the agent stamps it about every second",
              c.agent ? ToUtf8(c.agent->image) + ": process id " + pid
                      : "no agent process found in this session"},
             "end the agent (" + (c.agent ? "taskkill /f /pid " + pid : "in Task Manager") +
                 ") and start " + agentName + " again; its producer ends with it"});
    }
    FindLogonProblems(c, findings);
    if (!c.otherSessions.empty() && consumers && consumers->name.starts_with(u"Global\\")) {
        findings.push_back(
            {"agents-in-other-sessions",
             "agents of other sessions write the same Global\\ capabilities and consumers blocks "
             "as this session's: the virtual camera sees each one's formats and consumers in turn",
             {"agents run in sessions " + c.otherSessions + " besides this one (" +
                  std::to_string(f.session) + ")",
              "they write the same log, " + ToUtf8(f.logPath)},
             "judge this session alone with the other users signed out; the virtual camera must "
             "expect one writer per session under Global\\"});
    }
}

// What keeps the agent from running its producer: now, when frames are wanted and none of its
// own runs, or at its next start, whatever the demand; and producers it did not start.
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    const std::optional<SystemError>& error = f.producerStartError;
    // Frames are wanted, the agent runs, is enabled and runs no producer.
    const bool wanted =
        c.status.demand && c.settings.enabled && f.agentMutex && c.agent &&
        std::ranges::none_of(f.processes, [&](const auto& p) { return StartedByAgent(f, p); });
    // A failed start counts until a start succeeds after it; with the settings key gone, when
    // they last changed is unknown, and one that Windows no longer gives counts as past.
    const std::optional<std::string> failed =
        !f.settingsWritten && f.producerTried && !error
            ? std::nullopt
            : LastLine(c.recentLines, kProducerStartFailedPrefix, kProducerStartedPrefix);
    const std::string set = "orbelune_vcam_ctl set ProducerExe PATH";
    // The agent's stamps move in the consumers block of the other namespace than its control's.
    const bool elsewhere = c.control && Moved(f.consumers[c.control == &f.control[0] ? 1 : 0]);
    const struct {
        bool holds;
        const char* kind;
        std::string why, action;
    } kCauses[] = {{IsAbsolutePath(c.settings.producerExe) && f.producerArguments.empty(),
                    "producer-missing", ": ProducerExe is not there",
                    "install the producer there, or point ProducerExe at it: " + set},
                   // Windows' "not a valid application" and "of another machine type".
                   {error && (f.producerIsFolder || error->code == 193 || error->code == 216),
                    "producer-not-a-program",
                    f.producerIsFolder ? ": ProducerExe is a folder, not a program"
                                       : ": ProducerExe is not a program",
                    "point ProducerExe at the producer's program: " + set},
                   {error || failed, "producer-start-failed", ": the agent cannot start it",
                    "mend what the error names"},
                   {wanted && elsewhere, "agent-on-other-sections",
                    ": the agent works on the sections under the other namespace",
                    "end " + ToUtf8(kAgentExeName) +
                        " and start it again, so that it maps the sections that are there now"},
                   {wanted && !LastLine(c.recentLines, kProducerExitedLine), "producer-not-running",
                    "", "look at the last lines of the log (orbelune_vcam_ctl status)"}};
    const auto cause = std::ranges::find_if(kCauses, [](const auto& cause) { return cause.holds; });
    if (cause != std::end(kCauses)) {
        Finding& finding = findings.emplace_back(
            Finding{cause->kind,
                    (wanted ? "frames are wanted but no producer runs"
                            : "the agent cannot start the producer at the next demand") +
                        cause->why,
                    {"ProducerExe = " + ToUtf8(c.settings.producerExe)},
                    cause->action});
        if (wanted) {
            finding.evidence.push_back(TicksText(c.status));
        }
        if (error || (f.producerTried && failed)) {
            finding.evidence.push_back("with the agent's command line, Windows " +
                                       (error ? "refuses to start it: " + ToUtf8(error->text)
                                              : std::string("starts it now")));
        }
        CiteLog(c, finding, {failed, LastLine(c.recentLines, kProducerNotFoundPrefix)});
        if (const auto past = LastLine(c.pastLines, kProducerStartFailedPrefix); past && !failed) {
            finding.evidence.push_back("log, older than the last change or agent start: " +
                                       Latin1ToUtf8(*past));
        }
    }

    // Producers in this session that the agent did not start: it neither watches nor stops
    // them, and starts its own beside them. Where the agent's own process is not known, whose
    // a producer is cannot be told.
    Finding foreign{"producer-not-from-agent",
                    "a producer runs that is not the agent's own: the agent neither watches nor "
                    "stops it, and starts its own beside it",
                    {},
                    "end it (taskkill /f"};
    for (const ProcessFacts& p : f.processes) {
        if (IsProducer(f, p) && (c.agent || !f.agentMutex) && !StartedByAgent(f, p)) {
            foreign.evidence.push_back(ToUtf8(p.image) + ": process id " + std::to_string(p.id) +
                                       ", started by process id " + std::to_string(p.parentId) +
                                       (ParentOf(f, p) ? "" : ", which has ended"));
            foreign.action += " /pid " + std::to_string(p.id);
        }
    }
    if (!foreign.evidence.empty()) {
        foreign.action += "); the agent starts the producer itself when frames are wanted";
        findings.push_back(std::move(foreign));
    }

    // The agent hands the producer its settings at its start only: the one it started keeps the
    // camera index and provider the log's last start shows, and its program.
    const auto own =
        std::ranges::find_if(f.processes, [&](const auto& p) { return IsAgentChild(f, p); });
    if (own == f.processes.end()) {
        return;
    }
    Finding outdated{"producer-outdated",
                     "the producer runs with other settings than those stored now: the agent "
                     "hands them over only when it starts it",
                     {},
                     "orbelune_vcam_ctl set Enabled 0, wait until the log says \"" +
                         ToUtf8(kDisabledStopLine) +
                         "\" (within a second), then orbelune_vcam_ctl set Enabled 1"};
    const std::optional<std::string> started = LastLine(c.tail, kProducerStartedPrefix);
    if (started &&
        !Says(*started, ProducerStartedLine(c.settings.cameraIndex, c.settings.provider))) {
        CiteLog(c, outdated, {started});
        outdated.evidence.push_back("stored now: CameraIndex " +
                                    std::to_string(c.settings.cameraIndex) + ", Provider " +
                                    ToUtf8(c.settings.provider));
    }
    // The program Windows starts for the agent's command line now (for a script, the command
    // interpreter), against the one running.
    if (!own->path.empty() && !f.producerImage.empty() &&
        ToLowerUnits(own->path) != ToLowerUnits(f.producerImage)) {
        outdated.evidence.push_back("running: " + ToUtf8(own->path) +
                                    "; ProducerExe starts: " + ToUtf8(f.producerImage));
    }
    if (!outdated.evidence.empty()) {
        findings.push_back(std::move(outdated));
    }
}

}  // namespace orbelune
