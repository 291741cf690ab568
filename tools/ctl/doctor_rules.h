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

std::string Utf8(std::u16string_view text);
std::string Utf8(std::wstring_view ascii);

// The last recent line whose message starts with `message`, or nothing.
std::optional<std::string> LastRecentLine(const DoctorContext& c, std::string_view message);

// Whether the process is the agent's child or a descendant of it.
bool IsStartedByAgent(const DoctorFacts& facts, const ProcessFacts& process);

// The last recent line starting with `message` that no "producer started (" line follows.
std::optional<std::string> LastRecentFailure(const DoctorContext& c, std::string_view message);

// The agent, its logon entries, its settings, its paths and its log.
void FindAgentProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindPathProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindSettingProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings);

// The shared blocks, the producer and what the agent published.
void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindHeaderProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings);
void FindForeignProducers(const DoctorContext& c, std::vector<Finding>& findings);
void FindRestartLoop(const DoctorContext& c, std::vector<Finding>& findings);

// The camera behind CameraIndex and the formats the agent published from it.
void FindCameraProblems(const DoctorContext& c, std::vector<Finding>& findings);

}  // namespace orbelune
