// The agent's log lines: the texts it writes, the builders of those that carry values, and
// how a line is taken apart again. The control tool's `doctor` reads the lines back, so both
// programs take them from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace orbelune {

// A line is the local time in kLogTimeFormat ("YYYY-MM-DD HH:MM:SS", kLogTimeWidth bytes), one
// space, the message and CR LF.
inline constexpr char kLogTimeFormat[] = "%Y-%m-%d %H:%M:%S";
inline constexpr std::size_t kLogTimeWidth = 19;
inline constexpr std::size_t kLogMessageOffset = kLogTimeWidth + 1;

// The agent's start: the first line of every run, or of one that found an agent in its session.
inline constexpr std::u16string_view kAgentStartingLine = u"agent starting";
inline constexpr std::u16string_view kAgentAlreadyRunningLine =
    u"agent already running in this session; exiting";

// The supervision loop's decisions; the idle stop carries the idle time.
inline constexpr std::u16string_view kDemandLine = u"demand detected; starting producer";
inline constexpr std::u16string_view kIdleLine = u"idle; waiting for a consumer to open Orbelune";
inline constexpr std::u16string_view kDisabledStopLine = u"disabled via config; stopping producer";
inline constexpr std::u16string_view kProducerExitedLine = u"producer exited unexpectedly";
std::u16string IdleStopLine(std::uint64_t idleStopMs);  // "no demand for N ms; stopping producer"

// The producer's start, each line its fixed start and a value: the path of a producer that is
// not there, the error (as DescribeSystemError gives it) of a start that failed, or
// "camera-index=N provider=P)" (the provider bare) of one that succeeded.
inline constexpr std::u16string_view kProducerNotFoundPrefix = u"producer exe not found: ";
inline constexpr std::u16string_view kProducerStartFailedPrefix = u"failed to start producer: ";
inline constexpr std::u16string_view kProducerStartedPrefix = u"producer started (";
std::u16string ProducerNotFoundLine(std::u16string_view producerExe);
std::u16string ProducerStartFailedLine(std::u16string_view error);
std::u16string ProducerStartedLine(std::int32_t cameraIndex, std::u16string_view provider);

// The publication of the camera's formats: the fallback when the camera gave none, then
// "published N native camera capability tuple(s)".
inline constexpr std::u16string_view kCapabilitiesFallbackLine =
    u"camera capability enumeration failed/empty; using 1280x720@30 fallback";
inline constexpr std::u16string_view kPublishedPrefix = u"published ";
inline constexpr std::u16string_view kPublishedSuffix = u" native camera capability tuple(s)";
std::u16string PublishedLine(std::size_t count);

// The message's bytes as a line holds them: code units up to U+00FF as the byte of the same
// value, every unit above it as '?', a line feed as CR LF (as text mode writes it, so such a
// message spans several physical lines).
std::string LogMessageBytes(std::u16string_view message);

// The bytes of one whole line: the time, a space, LogMessageBytes(message) and CR LF.
std::string FormatLogLine(const std::tm& localTime, std::u16string_view message);

// A line taken apart: its time (the date and time fields of a std::tm, as FormatLogLine took
// them) and its message's bytes.
struct LogLineParts {
    std::tm time;
    std::string_view message;
};

// `line` without its line end; nothing when it does not start with a time and a space.
std::optional<LogLineParts> ParseLogLine(std::string_view line);

// Whether a line's message starts with `text` as the agent writes it.
bool LogMessageStartsWith(std::string_view message, std::u16string_view text);

}  // namespace orbelune
