// The rules of `doctor`, each adding the findings of its kind; Diagnose runs them in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ctl/doctor.h"

namespace orbelune {

// The log lines looked at, and how far back a line counts as recent.
inline constexpr std::size_t kDoctorLogLines = 500;
inline constexpr std::int64_t kDoctorRecentSeconds = 60;

// The facts the rules look at, worked out once.
struct DoctorContext {
    const DoctorFacts& facts;
    AgentSettings settings;
    const SectionFacts& controlSection;  // the control section the agent works on
    std::optional<vcam::ControlReading> control;
    std::optional<ProcessFacts> producer;  // the agent's child: the producer it started
    std::vector<std::string> recentLines;  // the log's lines of the last minute, oldest first
};

// Whether the process is the agent's child or a descendant of it.
bool IsStartedByAgent(const DoctorFacts& facts, const ProcessFacts& process);

// The agent and the producer: doctor_agent.cpp.
void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindForeignProducers(const DoctorContext& c, std::vector<Finding>& findings);

// The settings and the paths made of them: doctor_settings.cpp.
void FindPathProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindSettingProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The virtual camera's sections, their headers and ticks: doctor_sections.cpp.
void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindHeaderProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings);
// "NAME VALUE, AGE ms old", or "NAME 0 (never)".
std::string TickEvidence(const char* name, const TickReading& tick);

// The camera behind CameraIndex and the formats the agent published from it: doctor_camera.cpp.
void FindCameraProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The log: doctor_log.cpp. The lines of the last kDoctorRecentSeconds before the local time
// `localNowSeconds`, oldest first; the last recent line whose message starts with `message`;
// the last one that no "producer started (" line follows; and whether the agent's last
// publication of formats was the fallback, by the log when it has the publication.
std::vector<std::string> RecentLines(const StatusFacts& status, std::int64_t localNowSeconds);
std::optional<std::string> LastRecentLine(const DoctorContext& c, std::u16string_view message);
std::optional<std::string> LastRecentFailure(const DoctorContext& c, std::u16string_view message);
bool PublishedFallback(const DoctorFacts& facts);
void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindRestartLoop(const DoctorContext& c, std::vector<Finding>& findings);

}  // namespace orbelune
