// The pages under docs/ repeat the code's settings, command line, log lines, blocks and doctor's
// finding kinds: each is made here by the code itself and must stand on its page as it is.
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
    const auto b = LogMessageBytes;  // text as the log and the pages hold it
    const AgentSettings s = SettingsFromValues({}, u"C:\\Agent");  // no settings
    const auto arguments = ProducerArguments(s.producerExe, s.provider, s.cameraIndex, s.repoRoot);
    const std::string line = FormatLogLine(ParseLogLine("2026-12-04 12:21:50 ").value().time, u"");
    // Each message, with its values for no settings, ends a line of a log excerpt.
    const auto m = [&](std::u16string_view message) { return " " + b(message) + "\n"; };
    std::vector<std::string> lines = {
        m(kAgentAlreadyRunningLine), m(kDemandLine),         m(kIdleLine),
        m(kDisabledStopLine),        m(kProducerExitedLine), m(kCapabilitiesFallbackLine),
        m(PublishedLine(1))};
    lines.insert(
        lines.end(),
        {line.substr(0, line.size() - 2) + "agent starting\n", m(IdleStopLine(s.idleStopMs)),
         m(ProducerStartedLine(s.cameraIndex, s.provider)), m(ProducerNotFoundLine(s.producerExe)),
         m(ProducerStartFailedLine(u"193 (%1 is not a valid Win32 application.)"))});
    ExpectOn(Source({"docs/SUPPORT.md"}), lines);
    lines.insert(lines.end(), {b(BuildProducerCommandLine(arguments)),
                               "`C:\\Agent\\` gives `" + b(QuoteArgument(u"C:\\Agent\\")) + "`",
                               "`" + b(LogFilePath(u"C:\\ProgramData")) + "`"});
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
    ExpectOn(Source({"docs/PRODUCER.md", "docs/DEPLOYMENT.md"}), lines);
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
    const std::string page = Source({"docs/VIRTUAL_CAMERA.md"});
    ExpectOn(page, {title(kControlSectionName, kControlBlockSize, kControlMagic, kControlVersion),
                    row(kControlCameraIndexField, "cameraIndex"),
                    row(kControlDemandTickField, "demandTick"),
                    row(kControlConsumerStartTickField, "consumerStartTick"),
                    row(kControlConsumerHeartbeatTickField, "consumerHeartbeatTick")});
    ExpectOn(
        page,
        {title(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
               kCapabilitiesVersion),
         row(kCapabilitiesCameraIndexField, "cameraIndex"), row(kCapabilitiesCountField, "count"),
         row(kCapabilitiesEntriesField, "entries"), row(kCapabilitiesSequenceField, "sequence")});
    ExpectOn(page, {row(kCapabilityWidthField, "width"), row(kCapabilityHeightField, "height"),
                    row(kCapabilityFrameRateNumeratorField, "frameRateNumerator"),
                    row(kCapabilityFrameRateDenominatorField, "frameRateDenominator")});
    ExpectOn(page,
             {title(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion),
              row(kConsumersCountField, "count"), row(kConsumersUpdatedTickField, "updatedTick"),
              row(kConsumersEntriesField, "entries"), row(kConsumersSequenceField, "sequence")});
    ExpectOn(page,
             {row(kSlotDisplayNameField, "displayName"), row(kSlotIdentityField, "identity"),
              row(kSlotPackagedField, "packaged"), row(kSlotLastUsedStartField, "lastUsedStart")});
}

// Each kind in doctor's rules (a literal of lower-case words and hyphens that starts a finding,
// `{"kind", ...`, `kind = "kind";` or a branch `? "kind" :`) starts a row of the supporters'
// page, and no other does.
TEST(PagesTest, SupportPageListsEveryFindingKind) {
    const std::string code = Source({ORBELUNE_DOCTOR_SOURCES}), page = Source({"docs/SUPPORT.md"});
    const std::regex kind("\"([a-z]+(-[a-z]+)*)\"\\s*[,;:]"), row("\n\\| `[a-z]+(-[a-z]+)*` \\|");
    std::set<std::string> rows;
    for (std::sregex_iterator i(code.begin(), code.end(), kind), end; i != end; ++i) {
        rows.insert("\n| `" + (*i)[1].str() + "` |");
    }
    ExpectOn(page, {rows.begin(), rows.end()});
    for (std::sregex_iterator i(page.begin(), page.end(), row), end; i != end; ++i) {
        EXPECT_TRUE(rows.contains(i->str())) << i->str();
    }
}

}  // namespace
}  // namespace orbelune
