#include "tools/ctl_command.h"

#include <gtest/gtest.h>

#include <vector>

namespace orbelune {
namespace {

// A parsed command in short: its kind, --json, and name and value in brackets; or "error: "
// and the message.
std::string Parsed(std::vector<std::u16string> arguments) {
    static const char* const kKinds[] = {"help", "status", "set", "unset", "install", "uninstall"};
    const ParsedCommand parsed = ParseCtlArguments(arguments);
    if (!parsed.command) {
        return "error: " + std::string(parsed.error.begin(), parsed.error.end());
    }
    const CtlCommand& c = *parsed.command;
    return kKinds[static_cast<int>(c.kind)] + std::string(c.json ? " --json" : "") + " [" +
           std::string(c.name.begin(), c.name.end()) + "] [" +
           std::string(c.value.begin(), c.value.end()) + "]";
}

TEST(CtlCommandTest, Arguments) {
    EXPECT_EQ(Parsed({u"-h"}), "help [] []");
    EXPECT_EQ(Parsed({u"/?"}), "help [] []");
    EXPECT_EQ(Parsed({u"help"}), "help [] []");
    EXPECT_EQ(Parsed({u"set", u"CameraIndex", u"--help"}), "help [] []");
    EXPECT_EQ(Parsed({u"status"}), "status [] []");
    EXPECT_EQ(Parsed({u"status", u"--json"}), "status --json [] []");
    EXPECT_EQ(Parsed({u"set", u"Provider", u""}), "set [Provider] []");
    EXPECT_EQ(Parsed({u"set", u"Provider", u"cuda"}), "set [Provider] [cuda]");
    EXPECT_EQ(Parsed({u"unset", u"RepoRoot"}), "unset [RepoRoot] []");
    EXPECT_EQ(Parsed({u"install"}), "install [] []");
    EXPECT_EQ(Parsed({u"uninstall"}), "uninstall [] []");
    EXPECT_EQ(Parsed({}), "error: no command given");
    EXPECT_EQ(Parsed({u"STATUS"}), "error: unknown command 'STATUS'");
    EXPECT_EQ(Parsed({u"status", u"--xml"}), "error: unexpected argument '--xml' after status");
    EXPECT_EQ(Parsed({u"status", u"--json", u"x"}), "error: unexpected argument 'x' after status");
    EXPECT_EQ(Parsed({u"set", u"Provider"}), "error: set needs a NAME and a VALUE");
    EXPECT_EQ(Parsed({u"set", u"a", u"b", u"c"}), "error: unexpected argument 'c' after set");
    EXPECT_EQ(Parsed({u"unset"}), "error: unset needs a NAME");
    EXPECT_EQ(Parsed({u"install", u"now"}), "error: unexpected argument 'now' after install");
}

// A checked setting in short: the name as stored, then its DWORD or its text's length; or the
// error.
std::string Checked(std::u16string_view name, std::u16string_view value) {
    const CheckedSetting checked = CheckSetting(name, value);
    if (!checked.write) {
        return "error: " + std::string(checked.error.begin(), checked.error.end());
    }
    const SettingWrite& w = *checked.write;
    return std::string(w.name.begin(), w.name.end()) +
           (w.type == SettingType::kDword ? " dword " + std::to_string(w.dword)
                                          : " text of " + std::to_string(w.text.size()));
}

TEST(CtlCommandTest, SettingValues) {
    const std::u16string longest(1023, u'x');
    const std::u16string tooLong(1024, u'x');
    const struct {
        std::u16string_view name, value;
        std::string_view checked;
    } kCases[] = {
        {u"cameraindex", u"-1", "CameraIndex dword 4294967295"},
        {u"CameraIndex", u"-2147483648", "CameraIndex dword 2147483648"},
        {u"CameraIndex", u"2147483647", "CameraIndex dword 2147483647"},
        {u"CameraIndex", u"00000000000003", "CameraIndex dword 3"},
        {u"ENABLED", u"1", "Enabled dword 1"},
        {u"Enabled", u"-0", "Enabled dword 0"},
        {u"IdleStopMs", u"0", "IdleStopMs dword 0"},
        {u"IdleStopMs", u"4294967295", "IdleStopMs dword 4294967295"},
        {u"Provider", u"", "Provider text of 0"},
        {u"producerexe", u"C:\\p.exe", "ProducerExe text of 8"},
        {u"RepoRoot", longest, "RepoRoot text of 1023"},
        {u"Provider", tooLong,
         "error: Provider is too long (1024 characters); the agent reads at most 1023"},
        {u"Enabled", u"2", "error: Enabled takes 0 or 1, not '2'"},
        {u"CameraIndex", u"2147483648",
         "error: CameraIndex takes a whole number from -2147483648 to 2147483647, not "
         "'2147483648'"},
        {u"IdleStopMs", u"-1",
         "error: IdleStopMs takes a whole number from 0 to 4294967295, not '-1'"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Checked(c.name, c.value), c.checked);
    }
    // Text that is no plain decimal number, or is out of every range.
    for (const std::u16string_view value : {u"-2147483649", u"4294967296", u"99999999999", u"+3",
                                            u"-", u"", u"0x10", u" 1", u"1.5", u"true"}) {
        const std::string checked = Checked(u"IdleStopMs", value);
        EXPECT_EQ(checked.rfind("error: IdleStopMs takes", 0), 0u) << checked;
    }
    EXPECT_EQ(Checked(u"CameraIndex", u"-2147483649").rfind("error: CameraIndex takes", 0), 0u);
    EXPECT_EQ(Checked(u"CameraIndex ", u"1").rfind("error: unknown setting 'CameraIndex '", 0), 0u);
    EXPECT_EQ(Checked(u"", u"1").rfind("error: unknown setting ''", 0), 0u);
}

}  // namespace
}  // namespace orbelune
