#include "tools/ctl_command.h"

#include <gtest/gtest.h>

#include <vector>

namespace orbelune {
namespace {

using Kind = CtlCommand::Kind;

TEST(CtlCommandTest, Arguments) {
    static const struct {
        std::vector<std::u16string> arguments;
        bool ok;
        Kind kind;
        bool json;
        std::u16string_view name, value;
    } kCases[] = {
        {{u"--help"}, true, Kind::kHelp, false, u"", u""},
        {{u"-h"}, true, Kind::kHelp, false, u"", u""},
        {{u"/?"}, true, Kind::kHelp, false, u"", u""},
        {{u"help"}, true, Kind::kHelp, false, u"", u""},
        {{u"set", u"CameraIndex", u"--help"}, true, Kind::kHelp, false, u"", u""},
        {{u"status"}, true, Kind::kStatus, false, u"", u""},
        {{u"status", u"--json"}, true, Kind::kStatus, true, u"", u""},
        {{u"set", u"Provider", u"cuda"}, true, Kind::kSet, false, u"Provider", u"cuda"},
        {{u"set", u"Provider", u""}, true, Kind::kSet, false, u"Provider", u""},
        {{u"unset", u"RepoRoot"}, true, Kind::kUnset, false, u"RepoRoot", u""},
        {{u"install"}, true, Kind::kInstall, false, u"", u""},
        {{u"uninstall"}, true, Kind::kUninstall, false, u"", u""},
        // Usage errors.
        {{}, false, Kind::kHelp, false, u"", u""},
        {{u"stat"}, false, Kind::kHelp, false, u"", u""},
        {{u"STATUS"}, false, Kind::kHelp, false, u"", u""},
        {{u"status", u"--xml"}, false, Kind::kHelp, false, u"", u""},
        {{u"status", u"--json", u"x"}, false, Kind::kHelp, false, u"", u""},
        {{u"set", u"Provider"}, false, Kind::kHelp, false, u"", u""},
        {{u"set"}, false, Kind::kHelp, false, u"", u""},
        {{u"set", u"Provider", u"a", u"b"}, false, Kind::kHelp, false, u"", u""},
        {{u"unset"}, false, Kind::kHelp, false, u"", u""},
        {{u"install", u"now"}, false, Kind::kHelp, false, u"", u""},
    };
    for (const auto& c : kCases) {
        const ParsedCommand parsed = ParseCtlArguments(c.arguments);
        const std::string shown =
            c.arguments.empty() ? "(none)" : std::to_string(c.arguments.size());
        ASSERT_EQ(parsed.command.has_value(), c.ok) << shown << " arguments";
        if (!c.ok) {
            EXPECT_FALSE(parsed.error.empty());
            continue;
        }
        EXPECT_EQ(parsed.command->kind, c.kind);
        EXPECT_EQ(parsed.command->json, c.json);
        EXPECT_EQ(parsed.command->name, c.name);
        EXPECT_EQ(parsed.command->value, c.value);
    }
}

TEST(CtlCommandTest, SettingValues) {
    const std::u16string longest(1023, u'x');
    const std::u16string tooLong(1024, u'x');
    const struct {
        std::u16string_view name, value;
        bool ok;
        std::u16string_view storedName;
        SettingType type;
        std::uint32_t dword;
    } kCases[] = {
        {u"CameraIndex", u"0", true, u"CameraIndex", SettingType::kDword, 0},
        {u"cameraindex", u"7", true, u"CameraIndex", SettingType::kDword, 7},
        {u"CameraIndex", u"-1", true, u"CameraIndex", SettingType::kDword, 0xFFFFFFFF},
        {u"CameraIndex", u"-2147483648", true, u"CameraIndex", SettingType::kDword, 0x80000000},
        {u"CameraIndex", u"2147483647", true, u"CameraIndex", SettingType::kDword, 0x7FFFFFFF},
        {u"CameraIndex", u"2147483648", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"-2147483649", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"00000000000003", true, u"CameraIndex", SettingType::kDword, 3},
        {u"CameraIndex", u"+3", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"-", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"0x10", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u" 1", false, u"", SettingType::kDword, 0},
        {u"CameraIndex", u"99999999999999999999", false, u"", SettingType::kDword, 0},
        {u"Enabled", u"0", true, u"Enabled", SettingType::kDword, 0},
        {u"ENABLED", u"1", true, u"Enabled", SettingType::kDword, 1},
        {u"Enabled", u"2", false, u"", SettingType::kDword, 0},
        {u"Enabled", u"-0", true, u"Enabled", SettingType::kDword, 0},
        {u"Enabled", u"true", false, u"", SettingType::kDword, 0},
        {u"IdleStopMs", u"0", true, u"IdleStopMs", SettingType::kDword, 0},
        {u"IdleStopMs", u"4294967295", true, u"IdleStopMs", SettingType::kDword, 0xFFFFFFFF},
        {u"IdleStopMs", u"4294967296", false, u"", SettingType::kDword, 0},
        {u"IdleStopMs", u"-1", false, u"", SettingType::kDword, 0},
        {u"IdleStopMs", u"1.5", false, u"", SettingType::kDword, 0},
        {u"Provider", u"cuda", true, u"Provider", SettingType::kString, 0},
        {u"Provider", u"", true, u"Provider", SettingType::kString, 0},
        {u"producerexe", u"C:\\p.exe", true, u"ProducerExe", SettingType::kString, 0},
        {u"RepoRoot", longest, true, u"RepoRoot", SettingType::kString, 0},
        {u"RepoRoot", tooLong, false, u"", SettingType::kString, 0},
        {u"Provider", tooLong, false, u"", SettingType::kString, 0},
        {u"Bogus", u"1", false, u"", SettingType::kDword, 0},
        {u"CameraIndex ", u"1", false, u"", SettingType::kDword, 0},
        {u"", u"1", false, u"", SettingType::kDword, 0},
    };
    for (const auto& c : kCases) {
        const CheckedSetting checked = CheckSetting(c.name, c.value);
        ASSERT_EQ(checked.write.has_value(), c.ok)
            << std::string(c.name.begin(), c.name.end()) << " "
            << std::string(c.value.begin(), c.value.begin() + std::min<size_t>(c.value.size(), 20));
        if (!c.ok) {
            EXPECT_FALSE(checked.error.empty());
            continue;
        }
        EXPECT_EQ(checked.write->name, c.storedName);
        EXPECT_EQ(checked.write->type, c.type);
        if (c.type == SettingType::kDword) {
            EXPECT_EQ(checked.write->dword, c.dword);
        } else {
            EXPECT_EQ(checked.write->text, c.value);
        }
    }
}

TEST(CtlCommandTest, ErrorsNameTheProblem) {
    EXPECT_EQ(CheckSetting(u"Enabled", u"2").error, u"Enabled takes 0 or 1, not '2'");
    EXPECT_EQ(CheckSetting(u"Provider", std::u16string(1500, u'a')).error,
              u"Provider is too long (1500 characters); the agent reads at most 1023");
    EXPECT_NE(CheckSetting(u"Camera", u"1").error.find(u"unknown setting 'Camera'"),
              std::u16string::npos);
}

}  // namespace
}  // namespace orbelune
