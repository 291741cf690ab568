#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/peer/peer_options.h"

namespace orbelune {
namespace {

TEST(CtlCommandTest, Arguments) {
    using Kind = CtlCommand::Kind;
    const auto parse = [](std::vector<std::u16string> words) { return ParseCtlArguments(words); };
    EXPECT_EQ(parse({u"unset", u"enabled"}).value,
              (CtlCommand{Kind::kUnset, false, u"enabled", u""}));
    EXPECT_EQ(parse({u"status", u"--json"}).value, (CtlCommand{Kind::kStatus, true, u"", u""}));
    EXPECT_EQ(parse({u"set", u"a", u"b", u"c"}).error, u"unexpected argument 'c' after set");
    EXPECT_EQ(parse({u"unset"}).error, u"unset needs a NAME");
    EXPECT_EQ(parse({u"set", u"CameraIndex ", u"1"}).error,
              u"unknown setting 'CameraIndex '; the agent reads CameraIndex, Provider, Enabled, "
              u"IdleStopMs, ProducerExe and RepoRoot");
    // The commands that take no argument, without one and with one too many.
    for (const auto& [verb, kind] : {std::pair{u"help", Kind::kHelp},
                                     {u"status", Kind::kStatus},
                                     {u"doctor", Kind::kDoctor},
                                     {u"cameras", Kind::kCameras},
                                     {u"install", Kind::kInstall},
                                     {u"uninstall", Kind::kUninstall}}) {
        EXPECT_EQ(parse({verb}).value, (CtlCommand{kind, false, u"", u""}));
        EXPECT_EQ(parse({verb, u"x"}).error,
                  u"unexpected argument 'x' after " + std::u16string(verb));
    }
}

// The peer simulator's options in short: namespaces, section sizes, stamps, then the times.
std::string Peer(std::vector<std::u16string> arguments) {
    const ParsedPeerOptions parsed = ParsePeerOptions(arguments);
    if (!parsed.options) {
        return parsed.help ? "help" : "error: " + ToUtf8(parsed.error);
    }
    const PeerOptions& o = *parsed.options;
    char text[200] = {};
    std::snprintf(text, sizeof text, "%s%s %u/%u/%u %08X.%u %08X.%u %g %g %g %g %g %g %g",
                  o.local ? "L" : "", o.global ? "G" : "", o.controlSize, o.capabilitiesSize,
                  o.consumersSize, o.controlMagic, o.controlVersion, o.consumersMagic,
                  o.consumersVersion, o.fixAfter, o.demand, o.consumerStart, o.consumerStartAt,
                  o.heartbeat, o.runFor, o.printEvery);
    return text;
}

TEST(PeerOptionsTest, Arguments) {
    EXPECT_EQ(Peer({}), "L 80/2068/608 4F425643.2 4F42434F.1 -1 0 0 -1 0 -1 1");
    EXPECT_EQ(Peer({u"--namespace", u"both", u"--demand", u"0.3", u"--heartbeat", u"2",
                    u"--consumer-start", u"4", u"--consumer-start-at", u"1.5", u"--for", u"12",
                    u"--print-every", u"0", u"--fix-after", u"3"}),
              "LG 80/2068/608 4F425643.2 4F42434F.1 3 0.3 4 1.5 2 12 0");
    EXPECT_EQ(
        Peer({u"--namespace", u"global", u"--control-size", u"79", u"--capabilities-size", u"4096",
              u"--consumers-size", u"1", u"--control-magic", u"0x4f425644", u"--control-version",
              u"1", u"--consumers-magic", u"FFFFFFFF", u"--consumers-version", u"0"}),
        "G 79/4096/1 4F425644.1 FFFFFFFF.0 -1 0 0 -1 0 -1 1");
    EXPECT_EQ(Peer({u"--control-size", u"0"}), "error: bad value '0' for --control-size");
    EXPECT_EQ(Peer({u"--for"}), "error: --for needs a value (see --help)");
}

TEST(CtlCommandTest, SettingValues) {
    const std::u16string longest(1023, u'x'), tooLong(1024, u'x');
    // The value as stored (the name as the agent spells it, a number or text), or the error.
    const auto checked = [](std::u16string_view name, std::u16string_view value) {
        const Checked<SettingWrite> c = CheckSetting(*FindSetting(name), value);
        return !c.value
                   ? ToUtf8(c.error)
                   : ToUtf8(c.value->name) + (c.value->number ? "=" + std::to_string(c.value->dword)
                                                              : "='" + ToUtf8(c.value->text) + "'");
    };
    for (const auto& [name, value, stored] :
         std::initializer_list<std::tuple<std::u16string_view, std::u16string_view, std::string>>{
             {u"CameraIndex", u"-2147483648", "CameraIndex=2147483648"},
             {u"ENABLED", u"0", "Enabled=0"},
             {u"RepoRoot", longest, "RepoRoot='" + std::string(1023, 'x') + "'"},
             {u"Provider", tooLong,
              "Provider is too long (1024 characters); the agent reads at most 1023"},
             {u"Provider", u"a\nb", "Provider holds a control character, such as a line break"},
             {u"Enabled", u"2", "Enabled takes 0 or 1, not '2'"},
             {u"CameraIndex", u"2147483648",
              "CameraIndex takes -2147483648..2147483647, not '2147483648'"}}) {
        EXPECT_EQ(checked(name, value), stored);
    }
    // Text that is no plain decimal number, or is out of every range.
    for (const std::u16string_view value :
         {u"4294967296", u"-1", u"+3", u"-", u"", u"0x10", u" 1"}) {
        EXPECT_TRUE(checked(u"IdleStopMs", value).starts_with("IdleStopMs takes")) << ToUtf8(value);
    }
    EXPECT_NE(CtlUsage().find("  CameraIndex  -2147483648..2147483647\n"), std::string::npos);
}

}  // namespace
}  // namespace orbelune
