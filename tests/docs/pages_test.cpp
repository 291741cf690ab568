// The pages under docs/ repeat what the code does: the settings, the producer's command line, the
// log's place, format and lines, the shared blocks byte by byte, doctor's finding kinds. Each is
// made here by the code itself and must stand on its page as it is.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "agent/producer.h"
#include "config/settings.h"
#include "log/log.h"
#include "log/log_lines.h"
#include "orbelune/vcam_blocks.h"

namespace orbelune {
namespace {

// Files of the sources one after another, read under Wine through the Z: drive.
std::string Source(std::initializer_list<std::string_view> names) {
    std::string text;
    for (const std::string_view name : names) {
        std::ifstream file(ORBELUNE_SOURCE_DIR "/" + std::string(name));
        text.append(std::istreambuf_iterator<char>(file), {});
    }
    return text;
}

void ExpectOn(const std::string& page, const std::vector<std::string>& lines) {
    for (const std::string& text : lines) {
        EXPECT_NE(page.find(text), std::string::npos) << text;
    }
}

TEST(PagesTest, RepeatTheAgentsOwnFacts) {
    const std::string pages = Source({"docs/PRODUCER.md", "docs/DEPLOYMENT.md"});
    const auto b = LogMessageBytes;  // text as the log and the pages hold it
    const AgentSettings s = SettingsFromValues({}, u"C:\\Agent");  // no settings
    const auto arguments = ProducerArguments(s.producerExe, s.provider, s.cameraIndex, s.repoRoot);
    const std::string line = FormatLogLine(ParseLogLine("2026-12-04 12:21:50 ").value().time, u"");
    // Each message, with its values for no settings, ends a line of a log excerpt, here and on
    // the supporters' page.
    const auto m = [&](std::u16string_view message) { return " " + b(message) + "\n"; };
    std::vector<std::string> log = {
        m(kAgentAlreadyRunningLine), m(kDemandLine),         m(kIdleLine),
        m(kDisabledStopLine),        m(kProducerExitedLine), m(kCapabilitiesFallbackLine),
        m(PublishedLine(1))};
    log.insert(
        log.end(),
        {line.substr(0, line.size() - 2) + "agent starting\n", m(IdleStopLine(s.idleStopMs)),
         m(ProducerStartedLine(s.cameraIndex, s.provider)), m(ProducerNotFoundLine(s.producerExe)),
         m(ProducerStartFailedLine(u"193 (%1 is not a valid Win32 application.)"))});
    ExpectOn(pages, log);
    ExpectOn(Source({"docs/SUPPORT.md"}), log);
    std::vector<std::string> lines = {
        b(BuildProducerCommandLine(arguments)),
        "`C:\\Agent\\` gives `" + b(QuoteArgument(u"C:\\Agent\\")) + "`",
        "`" + b(LogFilePath(u"C:\\ProgramData")) + "`"};
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
    ExpectOn(pages, lines);
}

// Each section's title line (name, size, magic, version) and the row of every field.
TEST(PagesTest, BlockLayoutsMatchTheContract) {
    using namespace vcam;
    const auto title = [](const wchar_t* name, size_t size, unsigned magic, unsigned version) {
        char text[128] = {};
        std::snprintf(text, sizeof text, "Section `%ls`, **%zu bytes**, magic 0x%08X, version %u",
                      name, size, magic, version);
        return std::string(text);
    };
    const auto row = [](Field field, const char* name) {
        return "| " + std::to_string(field.offset) + " | " + std::to_string(field.size) + " | `" +
               name + "` |";
    };
    ExpectOn(Source({"docs/VIRTUAL_CAMERA.md"}),
             {title(kControlSectionName, kControlBlockSize, kControlMagic, kControlVersion),
              title(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
                    kCapabilitiesVersion),
              title(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion),
              row(kControlCameraIndexField, "cameraIndex"),
              row(kControlDemandTickField, "demandTick"),
              row(kControlConsumerStartTickField, "consumerStartTick"),
              row(kControlConsumerHeartbeatTickField, "consumerHeartbeatTick"),
              row(kCapabilitiesCameraIndexField, "cameraIndex"),
              row(kCapabilitiesCountField, "count"),
              row(kCapabilitiesEntriesField, "entries"),
              row(kCapabilitiesSequenceField, "sequence"),
              row(kCapabilityWidthField, "width"),
              row(kCapabilityHeightField, "height"),
              row(kCapabilityFrameRateNumeratorField, "frameRateNumerator"),
              row(kCapabilityFrameRateDenominatorField, "frameRateDenominator"),
              row(kConsumersCountField, "count"),
              row(kConsumersUpdatedTickField, "updatedTick"),
              row(kConsumersEntriesField, "entries"),
              row(kConsumersSequenceField, "sequence"),
              row(kSlotDisplayNameField, "displayName"),
              row(kSlotIdentityField, "identity"),
              row(kSlotPackagedField, "packaged"),
              row(kSlotLastUsedStartField, "lastUsedStart")});
}

// The kinds in doctor's rules (a literal of lower-case words and hyphens that starts a finding,
// `{"kind", ...` or `kind = "kind";`) are the first cells of the supporters' page's kinds table.
TEST(PagesTest, SupportPageListsEveryFindingKind) {
    const auto kinds = [](const std::string& text, const char* pattern) {
        const std::regex re(pattern);
        return std::set<std::string>(std::sregex_token_iterator(text.begin(), text.end(), re, 1),
                                     {});
    };
    EXPECT_EQ(kinds(Source({"docs/SUPPORT.md"}), "\n\\| `([a-z]+(-[a-z]+)*)` \\|"),
              kinds(Source({ORBELUNE_DOCTOR_SOURCES}), "\"([a-z]+(-[a-z]+)*)\"\\s*[,;]"));
}

}  // namespace
}  // namespace orbelune
