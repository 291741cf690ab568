// The rules about the log and what its recent lines tell: where it is written, whether it can
// be, and a producer that keeps exiting.
#include <algorithm>

#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr int kRestartLoopExits = 3;  // exits in the last minute that make a loop

// The message of a line, or nothing for a line without a time.
std::string_view MessageOf(std::string_view line) {
    const std::optional<LogLineParts> parts = ParseLogLine(line);
    return parts ? parts->message : std::string_view();
}

}  // namespace

std::vector<std::string> RecentLines(const StatusFacts& status, std::int64_t localNowSeconds) {
    std::vector<std::string> recent;
    for (std::string& line : LastLines(status.logBytes.value_or(""), kDoctorLogLines)) {
        const std::optional<LogLineParts> parts = ParseLogLine(line);
        if (parts && LocalSeconds(parts->time) > localNowSeconds - kDoctorRecentSeconds) {
            recent.push_back(std::move(line));
        }
    }
    return recent;
}

std::optional<std::string> LastRecentLine(const DoctorContext& c, std::u16string_view message) {
    for (auto line = c.recentLines.rbegin(); line != c.recentLines.rend(); ++line) {
        if (LogMessageStartsWith(MessageOf(*line), message)) {
            return *line;
        }
    }
    return std::nullopt;
}

std::optional<std::string> LastRecentFailure(const DoctorContext& c, std::u16string_view message) {
    for (auto line = c.recentLines.rbegin(); line != c.recentLines.rend(); ++line) {
        if (LogMessageStartsWith(MessageOf(*line), kProducerStartedPrefix)) {
            return std::nullopt;
        }
        if (LogMessageStartsWith(MessageOf(*line), message)) {
            return *line;
        }
    }
    return std::nullopt;
}

bool PublishedFallback(const DoctorFacts& facts) {
    if (!facts.status.logBytes) {
        return true;
    }
    bool seenPublication = false;
    const std::vector<std::string> lines = LastLines(*facts.status.logBytes, kDoctorLogLines);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string_view message = MessageOf(*line);
        if (LogMessageStartsWith(message, kPublishedPrefix) &&
            message.ends_with(LogMessageBytes(kPublishedSuffix))) {
            if (seenPublication) {
                return false;
            }
            seenPublication = true;
        } else if (LogMessageStartsWith(message, kCapabilitiesFallbackLine)) {
            return seenPublication;
        }
    }
    return !seenPublication;
}

void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (ToLowerUnits(s.logPath) != ToLowerUnits(c.facts.expectedLogPath)) {
        findings.push_back(
            {"log-fallback",
             "the log has fallen back to another folder",
             {"expected: " + (c.facts.expectedLogPath.empty()
                                  ? std::string("the ProgramData known folder cannot be had")
                                  : ToUtf8(c.facts.expectedLogPath)),
              "the agent writes: " + ToUtf8(s.logPath)},
             "check that the ProgramData folder exists and is readable"});
    }
    const std::optional<std::uint32_t> error = c.facts.logOpenError;
    const bool missing = error == kErrorFileNotFound || error == kErrorPathNotFound;
    if (error && (!missing || s.agentRunning)) {
        findings.push_back({"log-not-writable",
                            "the log cannot be written where it should be",
                            {ToUtf8(s.logPath) + ": " + ToUtf8(c.facts.logOpenErrorText)},
                            "let the agent's users create and write " +
                                ToUtf8(FolderOfPath(s.logPath)) +
                                ", or end the program that holds the file"});
    }
}

void FindRestartLoop(const DoctorContext& c, std::vector<Finding>& findings) {
    const auto exits =
        std::count_if(c.recentLines.begin(), c.recentLines.end(), [](const std::string& line) {
            return MessageOf(line) == LogMessageBytes(kProducerExitedLine);
        });
    if (exits < kRestartLoopExits) {
        return;
    }
    Finding finding{"producer-restarting",
                    "the producer restarts in a loop: it exited " + std::to_string(exits) +
                        " times in the last minute",
                    {"log: " + *LastRecentLine(c, kProducerExitedLine)},
                    "the producer ends by itself soon after each start: start it by hand with "
                    "the command line the agent uses to see why"};
    if (const auto started = LastRecentLine(c, kProducerStartedPrefix)) {
        finding.evidence.push_back("log: " + *started);
    }
    findings.push_back(std::move(finding));
}

}  // namespace orbelune
