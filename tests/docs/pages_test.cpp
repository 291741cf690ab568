// docs/PRODUCER.md and docs/DEPLOYMENT.md repeat what the agent does: its six settings, the
// producer's arguments, command line and quoting, the log's place and every line it writes. Each
// such line or block is made here by the agent's own code and must stand on its page as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "agent/producer.h"
#include "config/settings.h"
#include "log/log.h"
#include "log/log_lines.h"

namespace orbelune {
namespace {

std::string Page(const char* name) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(std::string(ORBELUNE_SOURCE_DIR "/docs/") + name);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Text as the log writes it and the pages show it: one byte per character.
std::string Bytes(std::u16string_view text) {
    return LogMessageBytes(text);
}

// Log lines of 4 December 2026, each at its time, as a block of the page.
std::string LogBlock(const std::vector<std::pair<const char*, std::u16string>>& lines) {
    std::string block;
    for (const auto& [time, message] : lines) {
        const auto parts = ParseLogLine(std::string("2026-12-04 ") + time + " ");
        block += FormatLogLine(parts->time, message);
    }
    std::erase(block, '\r');
    return block;
}

// A settings row up to its meaning, "| `Name` | REG_TYPE | default |", and its reg.exe line.
std::pair<std::string, std::string> SettingLines(const SettingRow& row) {
    const std::string name = Bytes(row.name),
                      type = IsNumberKind(row.kind) ? "REG_DWORD" : "REG_SZ";
    std::string value = IsNumberKind(row.kind) ? std::to_string(row.defaultNumber)
                                               : "`" + Bytes(row.defaultText) + "`";
    if (row.kind == SettingKind::kPath) {
        value = row.defaultText.empty() ? "the agent's folder" : value + " in the agent's folder";
    }
    return {"| `" + name + "` | " + type + " | " + value + " |",
            "reg add \"HKCU\\" + Bytes(kSettingsKey) + "\" /v " + name + " /t " + type + " /d "};
}

TEST(PagesTest, RepeatTheAgentsOwnFacts) {
    const std::string producer = Page("PRODUCER.md"), deployment = Page("DEPLOYMENT.md");
    // The agent in C:\Agent with no settings.
    const AgentSettings s = SettingsFromValues({}, u"C:\\Agent");
    const std::vector<std::u16string> arguments =
        ProducerArguments(s.producerExe, s.provider, s.cameraIndex, s.repoRoot);
    const std::u16string started = ProducerStartedLine(s.cameraIndex, s.provider),
                         failed =
                             ProducerStartFailedLine(u"193 (%1 is not a valid Win32 application.)");
    std::vector<std::pair<const std::string*, std::string>> lines = {
        {&producer, Bytes(BuildProducerCommandLine(arguments))},
        {&producer, "`C:\\Agent\\` gives `" + Bytes(QuoteArgument(u"C:\\Agent\\")) + "`"},
        {&producer, LogBlock({{"12:21:53", std::u16string(kDemandLine)},
                              {"12:21:53", started},
                              {"12:22:40", std::u16string(kProducerExitedLine)},
                              {"12:22:40", std::u16string(kDemandLine)},
                              {"12:22:40", started},
                              {"12:23:15", IdleStopLine(s.idleStopMs)},
                              {"12:30:02", std::u16string(kDisabledStopLine)}})},
        {&producer,
         LogBlock({{"12:31:00", ProducerNotFoundLine(s.producerExe)}, {"12:31:00", failed}})},
        {&deployment, "`" + Bytes(LogFilePath(u"C:\\ProgramData")) + "`"},
        {&deployment, LogBlock({{"12:21:53", std::u16string(kAgentStartingLine)}})},
        {&deployment, LogBlock({{"12:21:50", std::u16string(kAgentStartingLine)},
                                {"12:21:50", std::u16string(kCapabilitiesFallbackLine)},
                                {"12:21:50", PublishedLine(1)},
                                {"12:21:50", std::u16string(kIdleLine)},
                                {"12:21:53", std::u16string(kDemandLine)},
                                {"12:21:53", started},
                                {"12:22:40", std::u16string(kProducerExitedLine)},
                                {"12:23:15", IdleStopLine(s.idleStopMs)},
                                {"12:30:02", std::u16string(kDisabledStopLine)},
                                {"12:31:00", ProducerNotFoundLine(s.producerExe)},
                                {"12:31:00", failed},
                                {"12:40:02", std::u16string(kAgentAlreadyRunningLine)}})},
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].starts_with(u"--")) {
            lines.push_back(
                {&producer, "| " + std::to_string(i + 1) + " | `" + Bytes(arguments[i]) + "` |"});
        }
    }
    for (const SettingRow& row : kSettingRows) {
        const auto [tableRow, regAdd] = SettingLines(row);
        lines.insert(lines.end(), {{&deployment, tableRow}, {&deployment, regAdd}});
    }
    for (const auto& [page, line] : lines) {
        EXPECT_NE(page->find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace orbelune
