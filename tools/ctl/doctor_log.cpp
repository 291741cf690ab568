// The rules about the log: where it is written, who can write it, the producer exits it tells.
#include <algorithm>

#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/doctor.h"

namespace orbelune {

bool Says(std::string_view line, std::u16string_view message) {
    const std::optional<LogLineParts> parts = ParseLogLine(line);
    return parts && LogMessageStartsWith(parts->message, message);
}

std::optional<std::string> LastLine(const std::vector<std::string>& lines,
                                    std::u16string_view message, std::u16string_view unless) {
    const auto line = std::find_if(lines.rbegin(), lines.rend(), [&](const std::string& l) {
        return Says(l, message) || (!unless.empty() && Says(l, unless));
    });
    return line != lines.rend() && Says(*line, message) ? std::optional(*line) : std::nullopt;
}

void CiteLog(const DoctorContext& c, Finding& finding,
             std::initializer_list<std::optional<std::string>> lines) {
    const std::size_t before = finding.evidence.size();
    for (const std::optional<std::string>& line : lines) {
        if (line) {
            finding.evidence.push_back("log: " + Latin1ToUtf8(*line));
        }
    }
    if (finding.evidence.size() > before && !c.otherSessions.empty()) {
        finding.evidence.push_back("the agents of sessions " + c.otherSessions +
                                   " write the same log, and its lines do not say whose they are");
    }
}

void FindLogProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    if (ToLowerUnits(f.logPath) != ToLowerUnits(f.expectedLogPath)) {
        findings.push_back(
            {"log-fallback",
             "the log has fallen back to another folder",
             {f.expectedLogPath.empty() ? "the ProgramData known folder cannot be had"
                                        : "expected: " + ToUtf8(f.expectedLogPath),
              "the agent writes: " + ToUtf8(f.logPath)},
             "check that the ProgramData folder exists and is readable"});
    }
    // No file (2) or folder (3) is no fault: the agent creates them with its next line.
    const std::uint32_t error = f.logOpenError ? f.logOpenError->code : 0;
    if (!f.logBlockedBy.empty()) {
        const bool file = f.logBlockedBy != f.logPath;  // where a folder should be
        findings.push_back({"log-not-writable",
                            std::string(file ? "a file stands where the log's folder should be"
                                             : "a folder stands where the log file should be") +
                                ", so no agent can log",
                            {ToUtf8(f.logBlockedBy) + (file ? " is a file" : " is a folder")},
                            "remove " + ToUtf8(f.logBlockedBy) +
                                "; the agent creates the log and its folders with its next line"});
    } else if (error != 0 && error != 2 && error != 3) {
        findings.push_back({"log-not-writable",
                            "the log cannot be written where it should be",
                            {ToUtf8(f.logPath) + ": " + ToUtf8(f.logOpenError->text)},
                            "let the agent's users create and write " +
                                ToUtf8(FolderOfPath(f.logPath)) +
                                ", clear the file's read-only attribute (attrib -r \"" +
                                ToUtf8(f.logPath) + "\"), or end the program that holds it"});
    }
    // The log's paths whose security keeps other users' agents from appending.
    static const char* const kFaults[] = {
        "leads elsewhere: it is a junction or link, or the log has another name there",
        "does not let every signed-in user create the log in it",
        "does not let every signed-in user append to a log created in it",
        "does not let every signed-in user append to it"};
    for (const LogAccessFinding& a : f.logAccess) {
        const std::string path = ToUtf8(a.path);
        findings.push_back(
            {"log-not-shared",
             path + " " + kFaults[static_cast<int>(a.fault)] +
                 ", so other users' agents lose their lines",
             {path + ": its DACL and links as Windows gives them, judged for every signed-in user"},
             "in an elevated prompt: " + ToUtf8(a.mend)});
    }
    // Every exit of the producer counts, however far apart: the agent starts it again while
    // frames are wanted, and a user sees the camera stall each time.
    std::vector<std::int64_t> exits;
    for (const std::string& line : c.lines) {
        if (Says(line, kProducerExitedLine)) {
            exits.push_back(LocalSeconds(ParseLogLine(line)->time));
        }
    }
    if (exits.empty()) {
        return;
    }
    const auto n = static_cast<std::int64_t>(exits.size());
    Finding& finding = findings.emplace_back(Finding{
        "producer-restarting",
        "the producer ended without the agent stopping it: it exited " + std::to_string(n) +
            (n == 1 ? " time"
                    : " times within " + std::to_string(exits.back() - exits.front() + 1) + " s") +
            ", and the agent starts it again while frames are wanted",
        {},
        "unless another program ended it, start the producer by hand with the command line the "
        "agent uses, to see why it ends"});
    CiteLog(c, finding,
            {LastLine(c.lines, kProducerExitedLine), LastLine(c.lines, kProducerStartedPrefix)});
    if (!f.producerCommandLine.empty()) {
        finding.evidence.push_back("the agent's command line: " + ToUtf8(f.producerCommandLine));
    }
}

}  // namespace orbelune
