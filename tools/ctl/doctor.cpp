#include "tools/ctl/doctor.h"

#include <algorithm>

#include "common/text.h"
#include "log/log_lines.h"

namespace orbelune {
namespace {

// The control section the agent works on: the one where it stamps the consumers block, mapped
// at its start; else the one it takes at its next start.
const SectionFacts* WorkingControl(const Facts& facts) {
    for (size_t i = 0; i < facts.control.size(); ++i) {
        if (Moved(facts.consumers[i]) && facts.control[i].opened && !facts.control[i].error) {
            return &facts.control[i];
        }
    }
    return AgentSection(facts.control);
}

std::optional<std::int64_t> TimeOf(std::string_view line) {
    const auto parts = ParseLogLine(line);
    return parts ? std::optional(LocalSeconds(parts->time)) : std::nullopt;
}

}  // namespace

ControlStatus Judged(const SectionFacts& s) {
    return JudgeControlBlock(s.samples.front().control, s.samples.front().now);
}

std::string TicksText(const ControlStatus& s) {
    return TickText("demandTick", s.demandTick) + ", " +
           TickText("consumerStartTick", s.consumerStartTick) + ", " +
           TickText("consumerHeartbeatTick", s.consumerHeartbeatTick);
}

std::vector<Finding> Diagnose(const Facts& facts) {
    const SectionFacts* control = WorkingControl(facts);
    DoctorContext c{facts, SettingsOf(facts), SessionAgent(facts), control,
                    control ? Judged(*control) : ControlStatus{}};
    for (const ProcessFacts& p : facts.processes) {
        if (p.agent && p.session != facts.session) {
            c.otherSessions += (c.otherSessions.empty() ? "" : ", ") + std::to_string(p.session);
        }
    }
    const std::int64_t now = LocalSeconds(facts.localNow);
    c.tail = LastLines(facts.logBytes.value_or(""), kDoctorLogLines);
    std::erase_if(c.tail,
                  [&](const std::string& line) { return TimeOf(line).value_or(now + 1) > now; });
    const std::int64_t since =
        std::max({facts.settingsWritten.value_or(0), facts.producerWritten.value_or(0),
                  TimeOf(LastLine(c.tail, kAgentStartingLine).value_or("")).value_or(0)});
    for (const std::string& line : c.tail) {
        const std::int64_t time = *TimeOf(line);
        if (time >= since) {
            c.lines.push_back(line);
        }
        if (time > now - kDoctorRecentSeconds) {
            (time >= since ? c.recentLines : c.pastLines).push_back(line);
        }
    }
    std::vector<Finding> findings;
    for (const auto rule :
         {FindAgentProblems, FindSectionProblems, FindTickProblems, FindSettingProblems,
          FindProducerProblems, FindCameraProblems, FindLogProblems}) {
        rule(c, findings);
    }
    return findings;
}

}  // namespace orbelune
