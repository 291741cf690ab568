// docs/PRODUCER.md and docs/DEPLOYMENT.md repeat what the agent does: its six settings, the
// producer's arguments, command line and quoting, the log's place, line format and messages.
// Each is made here by the agent's own code and must stand on the pages as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "agent/producer.h"
#include "config/settings.h"
#include "log/log.h"
#include "log/log_lines.h"

namespace orbelune {
namespace {

TEST(PagesTest, RepeatTheAgentsOwnFacts) {
    std::string pages;  // both, read under Wine through the Z: drive
    for (const char* name : {"/docs/PRODUCER.md", "/docs/DEPLOYMENT.md"}) {
        std::ifstream file(ORBELUNE_SOURCE_DIR + std::string(name));
        pages.append(std::istreambuf_iterator<char>(file), {});
    }
    const auto b = LogMessageBytes;  // text as the log and the pages hold it
    const AgentSettings s = SettingsFromValues({}, u"C:\\Agent");  // no settings
    const auto arguments = ProducerArguments(s.producerExe, s.provider, s.cameraIndex, s.repoRoot);
    const std::string line = FormatLogLine(ParseLogLine("2026-12-04 12:21:50 ").value().time, u"");
    // Each message, with its values for no settings, ends a line of a log excerpt.
    const auto m = [&](std::u16string_view message) { return " " + b(message) + "\n"; };
    std::vector<std::string> lines = {
        b(BuildProducerCommandLine(arguments)),
        "`C:\\Agent\\` gives `" + b(QuoteArgument(u"C:\\Agent\\")) + "`",
        "`" + b(LogFilePath(u"C:\\ProgramData")) + "`",
        line.substr(0, line.size() - 2) + "agent starting\n",
        m(kAgentAlreadyRunningLine),
        m(kDemandLine),
        m(kIdleLine),
        m(kDisabledStopLine),
        m(kProducerExitedLine),
        m(kCapabilitiesFallbackLine),
        m(PublishedLine(1)),
        m(ProducerStartedLine(s.cameraIndex, s.provider)),
        m(IdleStopLine(s.idleStopMs)),
        m(ProducerNotFoundLine(s.producerExe)),
        m(ProducerStartFailedLine(u"193 (%1 is not a valid Win32 application.)"))};
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].starts_with(u"--")) {
            lines.push_back("| " + std::to_string(i + 1) + " | `" + b(arguments[i]) + "` |");
        }
    }
    // Each setting's row up to its meaning ("| `Name` | REG_TYPE | default |") and reg.exe line.
    for (const SettingRow& row : kSettingRows) {
        const bool number = IsNumberKind(row.kind);
        const char* type = number ? "REG_DWORD" : "REG_SZ";
        const std::string name = b(row.name), text = "`" + b(row.defaultText) + "`";
        lines.push_back("| `" + name + "` | " + type + " | " +
                        (number                           ? std::to_string(row.defaultNumber)
                         : row.kind == SettingKind::kText ? text
                         : row.defaultText.empty()        ? "the agent's folder"
                                                          : text + " in the agent's folder") +
                        " |");
        lines.push_back("reg add \"HKCU\\" + b(kSettingsKey) + "\" /v " + name + " /t " + type);
    }
    for (const std::string& text : lines) {
        EXPECT_NE(pages.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace orbelune
