// What stands between the user and a working camera, now or at the agent's next start: the
// agent's own rules applied to the facts, each finding with its evidence and what to do. The rules
// live in one file per subject and share one context.
#pragma once

#include "tools/ctl/facts.h"

namespace orbelune {

struct Finding {
    std::string kind;  // a short name for scripts, such as "agent-not-running"
    std::string problem;
    std::vector<std::string> evidence;
    std::string action;
};

std::vector<Finding> Diagnose(const Facts& facts);

struct DoctorContext {
    const Facts& facts;
    AgentSettings settings;
    const ProcessFacts* agent;    // this session's agent; nothing when none runs
    const SectionFacts* control;  // the control section the agent works on; nothing when none
    ControlStatus status;         // that section as the agent judges it at its first look
    // The log's lines, oldest first: its tail up to now (a line stamped later was written before
    // the clock was set back); of those, the present ones, since the settings or the producer
    // program last changed or the agent last started; the present and past ones of the last minute.
    std::vector<std::string> tail = {}, lines = {}, recentLines = {}, pastLines = {};
    std::string otherSessions = {};  // "2, 3": the sessions of agents elsewhere; empty when none
};

inline constexpr std::int64_t kDoctorRecentSeconds = 60;
inline constexpr std::size_t kDoctorLogLines = 500;  // of the log's tail

using Rule = void(const DoctorContext& c, std::vector<Finding>& findings);
Rule FindAgentProblems, FindProducerProblems, FindSectionProblems, FindTickProblems,
    FindSettingProblems, FindCameraProblems, FindLogProblems;

// Whether a log line's message starts with `message`; the last of `lines` that says `message`,
// unless a line that says `unless` follows it; a finding's evidence from the log: the lines there
// are and, if any, that the agents of other sessions write the log too.
bool Says(std::string_view line, std::u16string_view message);
std::optional<std::string> LastLine(const std::vector<std::string>& lines,
                                    std::u16string_view message, std::u16string_view unless = {});
void CiteLog(const DoctorContext& c, Finding& finding,
             std::initializer_list<std::optional<std::string>> lines);

// A control section as the agent judges it at the first look; a judgement's three ticks.
ControlStatus Judged(const SectionFacts& s);
std::string TicksText(const ControlStatus& s);

}  // namespace orbelune
