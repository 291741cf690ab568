#include "tools/ctl/doctor.h"

#include <algorithm>

#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

// The control section the agent works on: the one in the namespace where it stamps the
// consumers block, which it mapped at its start; else the one it takes at its next start.
const SectionFacts* WorkingControl(const Facts& facts) {
    for (size_t i = 0; i < 2; ++i) {
        const SectionFacts& control = facts.control[i];
        if (Moved(facts.consumers[i]) && control.opened && !control.error) {
            return &control;
        }
    }
    return AgentSection(facts.control);
}

std::optional<std::int64_t> TimeOf(std::string_view line) {
    const std::optional<LogLineParts> parts = ParseLogLine(line);
    return parts ? std::optional(LocalSeconds(parts->time)) : std::nullopt;
}

}  // namespace

std::vector<Finding> Diagnose(const Facts& facts) {
    const SectionFacts* control = WorkingControl(facts);
    DoctorContext c{
        facts, SettingsOf(facts), SessionAgent(facts), control, {}, false, false, {}, {}, {}, {},
        {}};
    if (control) {
        c.status =
            JudgeControlBlock(control->samples.front().control, control->samples.front().now);
    }
    c.producerRuns = std::any_of(facts.processes.begin(), facts.processes.end(),
                                 [&](const ProcessFacts& p) { return StartedByAgent(facts, p); });
    c.wanted = c.status.demand && c.settings.enabled && !c.producerRuns;
    for (const ProcessFacts& p : facts.processes) {
        const std::string session = std::to_string(p.session);
        if (p.agent && p.session != facts.session &&
            c.otherSessions.find(session) == std::string::npos) {
            c.otherSessions += (c.otherSessions.empty() ? "" : ", ") + session;
        }
    }
    // Lines stamped after now are from before the clock was set back, and those from before
    // the settings last changed or the agent last started tell of the past.
    const std::int64_t now = LocalSeconds(facts.localNow);
    std::int64_t since = facts.settingsWritten.value_or(0);
    c.tail = LastLines(facts.logBytes.value_or(""), kDoctorLogLines);
    std::erase_if(c.tail,
                  [&](const std::string& line) { return TimeOf(line).value_or(now + 1) > now; });
    if (const std::optional<std::string> start = LastLine(c.tail, kAgentStartingLine)) {
        since = std::max(since, *TimeOf(*start));
    }
    for (const std::string& line : c.tail) {
        const bool recent = *TimeOf(line) > now - kDoctorRecentSeconds;
        if (*TimeOf(line) < since) {
            if (recent) {
                c.pastLines.push_back(line);
            }
            continue;
        }
        if (recent) {
            c.recentLines.push_back(line);
        }
        c.lines.push_back(line);
    }
    std::vector<Finding> findings;
    FindAgentProblems(c, findings);
    FindSectionProblems(c, findings);
    FindTickProblems(c, findings);
    FindSettingProblems(c, findings);
    FindProducerProblems(c, findings);
    FindCameraProblems(c, findings);
    FindLogProblems(c, findings);
    return findings;
}

Node DoctorReport(const std::vector<Finding>& findings) {
    std::vector<Node> nodes;
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        std::vector<Node> evidence;
        for (const std::string& e : f.evidence) {
            evidence.push_back(Value("", Utf8ToU16(e), "evidence: " + e));
        }
        nodes.push_back(
            Object("", std::to_string(i + 1) + ". " + f.problem,
                   {Value("kind", Latin1ToU16(f.kind)), Value("problem", Utf8ToU16(f.problem)),
                    Array("evidence", "", std::move(evidence)),
                    Value("action", Utf8ToU16(f.action), "to do: " + f.action)}));
    }
    return Object("",
                  findings.empty() ? "nothing wrong found: the agent runs, the virtual camera's "
                                     "blocks are in order and the settings are used as stored"
                                   : "",
                  {Array("findings", "", std::move(nodes))});
}

}  // namespace orbelune
