// What stands between the user and a working camera, in words: the agent's own rules applied
// to the facts that `status` gathers and to the end of the log, as findings that each say what
// is wrong, show the evidence and say what to do.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ctl/status_report.h"

namespace orbelune {

// A process as the system's process table and the process itself tell it.
struct ProcessFacts {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;  // the id of the process that started it, as it was then
    std::uint32_t session = 0;
    std::uint64_t created = 0;  // its creation time (FILETIME); 0 when unknown
    std::u16string image;       // its image's file name
};

// Whether the agent works: the consumers block's update tick, which the agent stamps about once
// a second whatever the demand, watched for a short while. An agent that stamps nothing in that
// time is frozen (its threads suspended) or hung.
struct AgentProgress {
    bool watched = false;   // a consumers block that the agent stamps was there to watch
    bool advanced = false;  // its update tick changed while watched
    std::u16string section;
    std::uint64_t updatedTick = 0;  // the tick as last read
    std::uint64_t staleMs = 0;      // how old that tick was at the end of the watch
};

// What `doctor` knows besides what `status` shows, gathered by the Windows edge.
struct DoctorFacts {
    StatusFacts status;
    std::vector<std::u16string> agentPaths;  // the images of the agents in this session
    // The agent of this session: the oldest process of its name here (a later one exits at
    // once), with its process table; nothing when none runs.
    std::optional<ProcessFacts> agent;
    std::vector<ProcessFacts> processes;  // the whole process table, every session
    std::uint32_t session = 0;            // this session
    AgentProgress progress;
    // The control section under each of its names, opened with the agent's access.
    SectionFacts controlGlobal, controlLocal;
    // Whether the program each logon entry starts is there (only read for entries that exist).
    bool logonEntryProgramExists = false;
    bool machineLogonEntryProgramExists = false;
    // The producer's and the repository root's full paths as the agent makes them (trailing
    // spaces and dots dropped, as Windows drops them), and what is there.
    std::u16string producerFullPath, repoRootFullPath;
    bool producerExists = false;              // something is at the effective ProducerExe
    std::optional<std::string> producerHead;  // its first two bytes, when it can be read
    bool repoRootIsFolder = false;
    std::u16string expectedLogPath;  // the log under the ProgramData known folder, or empty
    // The system error of opening the log for appending, and its text; nothing when it opens.
    std::optional<std::uint32_t> logOpenError;
    std::u16string logOpenErrorText;
    std::tm localNow = {};  // the local time now, on the clock the log's lines carry
};

// Whether a path means the same whatever the current folder: "X:\..." or "\\server\...".
bool IsAbsolutePath(std::u16string_view path);

// The arguments a program finds in `commandLine`, split as Windows programs split theirs:
// 2n backslashes before a quote give n and the quote opens or closes, 2n+1 give n and a
// literal quote; other backslashes stand as they are.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// The program a logon entry's command starts: its first argument, unquoted.
std::u16string LogonEntryProgram(std::u16string_view command);

// Seconds of a local date and time (a log line's, or the clock's now), counted from
// 1970-01-01 00:00:00 on the same clock.
std::int64_t LocalSeconds(const std::tm& time);

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
