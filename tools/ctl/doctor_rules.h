// The rules of `doctor`, each adding the findings of its subject; Diagnose runs them in order
// over what it worked out once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ctl/doctor.h"

namespace orbelune {

struct DoctorContext {
    const Facts& facts;
    AgentSettings settings;
    const ProcessFacts* agent;    // this session's agent; nothing when none runs
    const SectionFacts* control;  // the control section the agent works on; nothing when none
    ControlStatus status;         // that section as the agent judges it at its first look
    bool producerRuns;            // a process the agent started runs
    bool wanted;                  // frames are wanted, the agent is enabled and no producer runs
    // The log's lines, oldest first: its tail up to now (a line stamped later was written before
    // the clock was set back); of those, the present ones, from the later of the settings' last
    // change and the agent's last start on; of those, the recent ones, of the last minute; and
    // the last minute's lines from before the present ones.
    std::vector<std::string> tail, lines, recentLines, pastLines;
    std::string otherSessions;  // "2, 3": the sessions of agents elsewhere; empty when none
};

// The log's lines: how far back a line counts as recent, and how many of the tail's are read.
inline constexpr std::int64_t kDoctorRecentSeconds = 60;
inline constexpr std::size_t kDoctorLogLines = 500;

// The agent, its logon entries, the producer it starts and the agents of other sessions:
// doctor_agent.cpp.
void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The virtual camera's sections, their headers and ticks: doctor_blocks.cpp.
void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The settings, the paths made of them and the camera CameraIndex names: doctor_settings.cpp.
void FindSettingProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindCameraProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The log and what its lines tell: doctor_log.cpp. The message of a line (empty for a line
// without a time); the last of `lines` whose message starts with `message`, unless a line
// that starts with `unless` follows it; evidence that another session's agent may have written
// a log line.
std::string_view MessageOf(std::string_view line);
std::optional<std::string> LastLine(const std::vector<std::string>& lines,
                                    std::u16string_view message, std::u16string_view unless = {});
void NoteSharedLog(const DoctorContext& c, Finding& finding);
void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings);

// "HKEY_CURRENT_USER\Software\Orbelune\NAME".
std::string SettingPath(Setting setting);

}  // namespace orbelune
