// The rules about the log and what its lines tell: where it is written, whether it can be, and
// a producer that ends by itself.
#include <algorithm>

#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;

}  // namespace

std::string_view MessageOf(std::string_view line) {
    const std::optional<LogLineParts> parts = ParseLogLine(line);
    return parts ? parts->message : std::string_view();
}

std::optional<std::string> LastLine(const std::vector<std::string>& lines,
                                    std::u16string_view message, std::u16string_view unless) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (!unless.empty() && LogMessageStartsWith(MessageOf(*line), unless)) {
            return std::nullopt;
        }
        if (LogMessageStartsWith(MessageOf(*line), message)) {
            return *line;
        }
    }
    return std::nullopt;
}

void NoteSharedLog(const DoctorContext& c, Finding& finding) {
    const std::string note = "the agents of sessions " + c.otherSessions +
                             " write the same log, and its lines do not say whose they are";
    if (!c.otherSessions.empty() && std::find(finding.evidence.begin(), finding.evidence.end(),
                                              note) == finding.evidence.end()) {
        finding.evidence.push_back(note);
    }
}

void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    if (ToLowerUnits(f.logPath) != ToLowerUnits(f.expectedLogPath)) {
        findings.push_back(
            {"log-fallback",
             "the log has fallen back to another folder",
             {"expected: " + (f.expectedLogPath.empty()
                                  ? std::string("the ProgramData known folder cannot be had")
                                  : ToUtf8(f.expectedLogPath)),
              "the agent writes: " + ToUtf8(f.logPath)},
             "check that the ProgramData folder exists and is readable"});
    }
    const std::uint32_t error = f.logOpenError ? f.logOpenError->code : 0;
    // Before the agent's first line there is no file to open.
    if (error != 0 &&
        (f.agentMutex || (error != kErrorFileNotFound && error != kErrorPathNotFound))) {
        findings.push_back({"log-not-writable",
                            "the log cannot be written where it should be",
                            {ToUtf8(f.logPath) + ": " + ToUtf8(f.logOpenError->text)},
                            "let the agent's users create and write " +
                                ToUtf8(FolderOfPath(f.logPath)) +
                                ", or end the program that holds the file"});
    }
    // Every exit of the producer counts, however far apart: the agent starts it again while
    // frames are wanted, and a user sees the camera stall each time.
    std::vector<std::string> exits;
    std::copy_if(c.lines.begin(), c.lines.end(), std::back_inserter(exits),
                 [](const std::string& line) {
                     return MessageOf(line) == LogMessageBytes(kProducerExitedLine);
                 });
    if (exits.empty()) {
        return;
    }
    const auto seconds = [](const std::string& line) {
        return LocalSeconds(ParseLogLine(line)->time);
    };
    const std::int64_t span = seconds(exits.back()) - seconds(exits.front());
    Finding finding{
        "producer-restarting",
        "the producer ends by itself: it exited " + std::to_string(exits.size()) +
            (exits.size() == 1
                 ? " time"
                 : " times, about every " +
                       std::to_string(span / static_cast<std::int64_t>(exits.size() - 1)) + " s") +
            ", and the agent starts it again while frames are wanted",
        {"log: " + exits.front(), "log: " + exits.back()},
        "the producer ends by itself after its start: start it by hand with the command line the "
        "agent uses to see why"};
    if (exits.size() == 1) {
        finding.evidence.pop_back();
    }
    if (const auto started = LastLine(c.lines, kProducerStartedPrefix)) {
        finding.evidence.push_back("log: " + *started);
    }
    NoteSharedLog(c, finding);
    findings.push_back(std::move(finding));
}

}  // namespace orbelune
