// What stands between the user and a working camera, in words: the agent's own rules applied
// to the facts that `status` gathers and to the end of the log, as findings that each say what
// is wrong, show the evidence and say what to do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ctl/status_report.h"

namespace orbelune {

// What `doctor` knows besides what `status` shows, gathered by the Windows edge.
struct DoctorFacts {
    StatusFacts status;
    std::vector<std::u16string> agentPaths;  // the images of the agents in this session
    // Whether the program each logon entry starts is there (only read for entries that exist).
    bool logonEntryProgramExists = false;
    bool machineLogonEntryProgramExists = false;
    bool producerExists = false;               // something is at the effective ProducerExe
    std::optional<std::string> producerHead;   // its first two bytes, when it can be read
    std::optional<std::uint32_t> cameraCount;  // video-capture devices; nothing when unknown
    std::u16string expectedLogPath;  // the log under the ProgramData known folder, or empty
    // The system error of opening the log for appending, and its text; nothing when it opens.
    std::optional<std::uint32_t> logOpenError;
    std::u16string logOpenErrorText;
    std::int64_t localNowSeconds = 0;  // the local time now, in seconds as log lines count them
};

// The program a logon entry's command starts: its first argument, unquoted.
std::u16string LogonEntryProgram(std::u16string_view command);

// Seconds of a log line's local timestamp ("YYYY-MM-DD HH:MM:SS ..."), counted from
// 1970-01-01 00:00:00 on the same clock; nothing when the line has no timestamp.
std::optional<std::int64_t> LogLineSeconds(std::string_view line);

struct Finding {
    std::string kind;  // a short name for scripts, such as "agent-not-running"
    std::string problem;
    std::vector<std::string> evidence;
    std::string action;
};

std::vector<Finding> Diagnose(const DoctorFacts& facts);

std::string DoctorText(const std::vector<Finding>& findings);
std::string DoctorJson(const std::vector<Finding>& findings);

}  // namespace orbelune
