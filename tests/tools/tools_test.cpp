#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/reports.h"
#include "tools/peer/peer_options.h"

namespace orbelune {
namespace {

// The command that `arguments` parse to, and the usage error of those that parse to none.
CtlCommand Command(std::vector<std::u16string> arguments) {
    const ParsedCommand parsed = ParseCtlArguments(arguments);
    EXPECT_TRUE(parsed.command) << ToUtf8(parsed.error);
    return parsed.command.value_or(CtlCommand{});
}
std::string CommandError(std::vector<std::u16string> arguments) {
    return ToUtf8(ParseCtlArguments(arguments).error);
}

TEST(CtlCommandTest, Arguments) {
    using Kind = CtlCommand::Kind;
    EXPECT_EQ(Command({u"-h"}), (CtlCommand{Kind::kHelp, false, u"", u""}));
    EXPECT_EQ(Command({u"set", u"CameraIndex", u"--help"}),
              (CtlCommand{Kind::kHelp, false, u"", u""}));
    EXPECT_EQ(Command({u"status", u"--json"}), (CtlCommand{Kind::kStatus, true, u"", u""}));
    EXPECT_EQ(Command({u"doctor", u"--json"}), (CtlCommand{Kind::kDoctor, true, u"", u""}));
    EXPECT_EQ(CommandError({}), "no command given");
    EXPECT_EQ(CommandError({u"STATUS"}), "unknown command 'STATUS'");
    EXPECT_EQ(CommandError({u"status", u"--xml"}), "unexpected argument '--xml' after status");
    EXPECT_EQ(CommandError({u"status", u"--json", u"x"}), "unexpected argument 'x' after status");
    EXPECT_EQ(CommandError({u"set", u"a", u"b", u"c"}), "unexpected argument 'c' after set");
    EXPECT_EQ(CommandError({u"unset"}), "unset needs a NAME");
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
    EXPECT_EQ(Peer({u"--demand", u"1", u"-h"}), "help");
    EXPECT_EQ(Peer({u"--demand"}), "error: --demand needs a value (see --help)");
    EXPECT_EQ(Peer({u"--heartbeat", u"2", u"--beat", u"2"}),
              "error: unknown option --beat (see --help)");
    for (const auto& [option, value] :
         {std::pair<std::u16string, std::u16string>{u"--demand", u"-1"},
          {u"--for", u"1e3"},
          {u"--namespace", u"all"},
          {u"--control-size", u"0"},
          {u"--consumers-magic", u"100000000"},
          {u"--control-version", u"0x1"}}) {
        EXPECT_EQ(Peer({option, value}),
                  "error: bad value '" + ToUtf8(value) + "' for " + ToUtf8(option));
    }
}

TEST(CtlCommandTest, SettingValues) {
    const std::u16string longest(1023, u'x'), tooLong(1024, u'x');
    const struct {
        std::u16string_view name, value;
        SettingWrite write;      // as stored, when the value is taken
        std::string_view error;  // when it is not
    } kCases[] = {
        {u"CameraIndex", u"-2147483648", {u"CameraIndex", true, 2147483648u, u""}, ""},
        {u"CameraIndex", u"2147483647", {u"CameraIndex", true, 2147483647u, u""}, ""},
        {u"CameraIndex", u"00000000000003", {u"CameraIndex", true, 3, u""}, ""},
        {u"ENABLED", u"1", {u"Enabled", true, 1, u""}, ""},
        {u"IdleStopMs", u"0", {u"IdleStopMs", true, 0, u""}, ""},
        {u"producerexe", u"C:\\p.exe", {u"ProducerExe", false, 0, u"C:\\p.exe"}, ""},
        {u"RepoRoot", longest, {u"RepoRoot", false, 0, longest}, ""},
        {u"Provider",
         tooLong,
         {},
         "Provider is too long (1024 characters); the agent reads at most 1023"},
        {u"Enabled", u"2", {}, "Enabled takes 0 or 1, not '2'"},
        {u"CameraIndex",
         u"2147483648",
         {},
         "CameraIndex takes a whole number from -2147483648 to 2147483647, not '2147483648'"},
        {u"IdleStopMs",
         u"-1",
         {},
         "IdleStopMs takes a whole number from 0 to 4294967295, not '-1'"},
    };
    for (const auto& c : kCases) {
        const CheckedSetting checked = CheckSetting(c.name, c.value);
        EXPECT_EQ(ToUtf8(checked.error), c.error) << ToUtf8(c.value);
        EXPECT_EQ(checked.write, c.error.empty() ? std::optional(c.write) : std::nullopt);
    }
    const auto error = [](std::u16string_view name, std::u16string_view value) {
        return ToUtf8(CheckSetting(name, value).error);
    };
    // Text that is no plain decimal number, or is out of every range.
    for (const std::u16string_view value :
         {u"4294967296", u"99999999999", u"+3", u"-", u"", u"0x10", u" 1"}) {
        EXPECT_TRUE(error(u"IdleStopMs", value).starts_with("IdleStopMs takes")) << ToUtf8(value);
    }
    EXPECT_TRUE(error(u"CameraIndex", u"-2147483649").starts_with("CameraIndex takes"));
    EXPECT_TRUE(error(u"CameraIndex ", u"1").starts_with("unknown setting 'CameraIndex '"));
}

// A running agent with demand, both blocks published, two consumers started in two time zones;
// a producer of the agent's and one of another session.
Facts BusyFacts() {
    Facts f;
    f.session = 1;
    f.agentMutex = true;
    f.toolFolder = u"D:\\Tool";
    const std::u16string producer = u"orbelune_windows_retouch_vcam_producer.exe";
    f.processes = {{300, 4, 1, 5000, u"agent.exe", u"C:\\Agent\\agent.exe", true},
                   {412, 300, 1, 6000, producer, u"", false},
                   {413, 4, 2, 6000, producer, u"", false}};
    const auto absent = [](const char16_t* name) {
        return SectionFacts{name, false, SystemError{2, u"2 (File not found.)"}, 0, 0, {}};
    };
    f.control = {absent(u"Global\\OrbeluneVcamControl.v2"),
                 {u"Local\\OrbeluneVcamControl.v2",
                  true,
                  {},
                  0x4F425643,
                  2,
                  {{{0x4F425643, 2, true, 1, 100000, 99750, 90000}, 0, 100000}}}};
    f.capabilities = {SectionFacts{u"Global\\OrbeluneVcamCapabilities.v1", true, {}, 0, 0, {}},
                      absent(u"Local\\OrbeluneVcamCapabilities.v1")};
    f.capabilitiesBlock = {f.capabilities[0].name,
                           0x4F425650,
                           1,
                           vcam::SnapshotStatus::kAccepted,
                           {1, 1, 2, {{1920, 1080, 30, 1}, {640, 480, 15, 2}}}};
    f.consumers = {absent(u"Global\\OrbeluneVcamConsumers.v1"),
                   {u"Local\\OrbeluneVcamConsumers.v1", true, {}, 0, 0, {{{}, 0, 100250}}}};
    f.consumersBlock = {
        f.consumers[1].name,
        0x4F42434F,
        1,
        vcam::SnapshotStatus::kAccepted,
        {1,
         100000,
         2,
         {{u"Zoom \"Meetings\"\n", "zoom.exe", 0, 134117352002500000},
          {u"Cam\u00e9ra \U0001F4F7", "Microsoft.WindowsCamera_8wekyb3d8bbwe", 1, 1}}}};
    f.consumerStartsLocal = {LocalTime{2026, 1, 1, 10, 0, 0, 250, 0},
                             LocalTime{2026, 1, 1, 5, 0, 0, 0, -300}};
    f.logPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    f.logBytes = "2026-01-01 10:00:00 agent starting\r\n2026-01-01 10:00:01 caf\xE9\r\n";
    f.cameras = CameraListing{true, 0, {{u"Cam", u"\\\\?\\usb#1", 0u}}};
    return f;
}

// Whether every one of `parts` stands in `text`.
void ExpectParts(const std::string& text, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

TEST(StatusReportTest, BusyAgent) {
    const Node report = StatusReport(BusyFacts());
    ExpectParts(
        ReportText(report),
        {"settings (HKEY_CURRENT_USER\\Software\\Orbelune; defaults in C:\\Agent, the running "
         "agent's folder):\n  CameraIndex  0  (default)\n",
         "  RepoRoot     C:\\Agent  (default)\ncamera: CameraIndex 0 names \"Cam\" (\\\\?\\usb#1)\n"
         "agent: running in this session, process id 300, C:\\Agent\\agent.exe\n"
         "producer (orbelune_windows_retouch_vcam_producer.exe): running, process id 412\n",
         "control block (Local\\OrbeluneVcamControl.v2): valid, magic 0x4F425643 version 2\n"
         "  cameraIndex 1\n  demandTick 100000 (0 ms old, fresh)\n"
         "  consumerStartTick 99750 (250 ms old, fresh)\n"
         "  consumerHeartbeatTick 90000 (10000 ms old, stale)\n  demand yes, consumer present no\n",
         "capabilities block (Global\\OrbeluneVcamCapabilities.v1): valid, magic 0x4F425650 "
         "version 1\n  cameraIndex 1, count 2, sequence 1\n  [0] 1920x1080@30/1\n  [1] "
         "640x480@15/2\n",
         "  count 2, updated 250 ms ago (updatedTick 100000), sequence 1\n"
         "  [0] \"Zoom \\\"Meetings\\\"\\x0A\" identity \"zoom.exe\", desktop, started 2026-01-01 "
         "10:00:00.250 local time (UTC+00:00)\n  [1] \"Cam\xC3\xA9ra \xF0\x9F\x93\xB7\" identity "
         "\"Microsoft.WindowsCamera_8wekyb3d8bbwe\", packaged, started 2026-01-01 05:00:00.000 "
         "local time (UTC-05:00)\n",
         "log C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log, last 2 lines:\n  2026-01-01 "
         "10:00:00 agent starting\n  2026-01-01 10:00:01 caf\xC3\xA9\n"});
    ExpectParts(
        ReportJson(report),
        {R"({"settings":{"CameraIndex":{"value":0,"source":"default"},)",
         R"("defaultsFolder":"C:\\Agent"},"camera":{"listedCameras":1,"named":{"index":0,)"
         R"("friendlyName":"Cam","symbolicLink":"\\\\?\\usb#1","virtual":false,"selected":true,)"
         R"("openError":null}},"agentRunning":true,"agent":{"processId":300,)",
         R"("running":true,"processIds":[412]},"logonEntry":null,)",
         R"("demandTick":{"value":100000,"ageMs":0,"fresh":true},)",
         R"("snapshot":"accepted","count":2,"updatedTick":100000,"updatedAgeMs":250,)"
         R"("slots":[{"displayName":"Zoom \"Meetings\"\u000a","identity":"zoom.exe",)"
         R"("packaged":false,"lastUsedStart":134117352002500000,)"
         R"("startedLocal":"2026-01-01T10:00:00.250+00:00"},)"
         R"({"displayName":"Cam\u00e9ra \ud83d\udcf7","identity":)"
         R"("Microsoft.WindowsCamera_8wekyb3d8bbwe","packaged":true,"lastUsedStart":1,)"
         R"("startedLocal":"2026-01-01T05:00:00.000-05:00"}],)",
         R"("lines":["2026-01-01 10:00:00 agent starting","2026-01-01 10:00:01 caf\u00e9"]}})"
         "\n"});
}

TEST(StatusReportTest, MissingAndStrangeBlocks) {
    Facts f = BusyFacts();
    f.processes.clear();
    f.agentMutex = false;
    f.logBytes.reset();
    f.control[1].samples[0].control = {0x4F425644, 2, false, 0, 1, 100250, ~0ull};
    // A capabilities block not yet published into, and a consumers block of another release.
    f.capabilitiesBlock.status = vcam::SnapshotStatus::kNotPublished;
    f.capabilitiesBlock.magic = f.capabilitiesBlock.version = 0;
    f.consumersBlock.status = vcam::SnapshotStatus::kRejected;
    f.consumersBlock.magic = 0x5842434F;
    ExpectParts(
        ReportText(StatusReport(f)),
        {"agent: not running in this session\nproducer "
         "(orbelune_windows_retouch_vcam_producer.exe): not running\n",
         "control block (Local\\OrbeluneVcamControl.v2): not valid (the agent counts it as "
         "missing), magic 0x4F425644 (expected 0x4F425643) version 2\n",
         "  consumerStartTick 100250 (250 ms in the future, stale)\n"
         "  consumerHeartbeatTick 18446744073709551615 (9223372036854775807 ms in the future, "
         "stale)\n  demand no, consumer present no\n",
         "capabilities block (Global\\OrbeluneVcamCapabilities.v1): not published by the agent "
         "yet, magic 0x00000000 (expected 0x4F425650) version 0 (expected 1)\nconsumers block "
         "(Local\\OrbeluneVcamConsumers.v1): not valid, magic 0x5842434F (expected 0x4F42434F) "
         "version 1\nlog C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log: cannot be read\n"});
    // Sections the agent cannot take, each name with Windows' reason.
    f.control[1] = {
        u"Local\\OrbeluneVcamControl.v2", true, SystemError{8, u"8 (No memory.)"}, 0, 0, {}};
    f.capabilities[0] = f.control[1];
    f.capabilities[0].error = SystemError{5, u"5 (Access denied.)"};
    f.capabilities[0].opened = false;
    ExpectParts(ReportText(StatusReport(f)),
                {"control block: Global\\OrbeluneVcamControl.v2 2 (File not found.); "
                 "Local\\OrbeluneVcamControl.v2 opens but cannot be mapped at the block's size, 8 "
                 "(No memory.); the agent counts it as missing\n",
                 "capabilities block: Local\\OrbeluneVcamControl.v2 5 (Access denied.); "});
    ExpectParts(ReportJson(StatusReport(f)),
                {R"("controlBlock":{"sections":[{"section":"Global\\OrbeluneVcamControl.v2",)"
                 R"("opened":false,"error":2},{"section":"Local\\OrbeluneVcamControl.v2",)"
                 R"("opened":true,"error":8}]},)",
                 R"("producer":{"image":"orbelune_windows_retouch_vcam_producer.exe",)"
                 R"("running":false,"processIds":[]},)"});
}

// Which camera the configured index names, and the list `cameras` prints: a real camera, a
// virtual one, and one the privacy settings keep closed.
TEST(CameraReportTest, IndexNamesAndWhyACameraCannotBeOpened) {
    const CameraListing listing{
        true,
        0,
        {{u"Integrated Camera", u"\\\\?\\usb#vid_04f2#0", 0u},
         {u"Orbelune Camera", u"\\\\?\\SWD#VCAMDEVAPI#1", std::nullopt},  // virtual by its link
         {u"USB Camera", u"\\\\?\\usb#vid_046d#2", 0x80070005u},
         {u"Effects Windows Virtual Camera", u"\\\\?\\SWD#MSRRAS#3", 0xC00D3704u}}};
    const std::string kFallback = "the agent publishes the 1280x720@30 fallback";
    const std::string kDenied =
        "cannot be opened: access denied: camera access for desktop apps is off in the privacy "
        "settings (0x80070005)";
    const struct {
        std::int32_t index;
        std::string line;
    } kCases[] = {
        {0, "camera: CameraIndex 0 names \"Integrated Camera\" (\\\\?\\usb#vid_04f2#0)"},
        {1,
         "camera: CameraIndex 1 names \"Orbelune Camera\" (\\\\?\\SWD#VCAMDEVAPI#1), a virtual "
         "camera, not a real one"},
        {2, "camera: CameraIndex 2 names \"USB Camera\" (\\\\?\\usb#vid_046d#2); it " + kDenied +
                ", so " + kFallback},
        {4, "camera: CameraIndex 4 names no camera: 4 listed, 0 to 3; " + kFallback},
        {-1, "camera: CameraIndex -1 is negative and names no camera; " + kFallback},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ConfiguredCamera(listing, c.index).line, c.line);
    }
    EXPECT_EQ(ReportText(CamerasReport(listing, 2)),
              "0  \"Integrated Camera\" (\\\\?\\usb#vid_04f2#0)\n"
              "1  \"Orbelune Camera\" (\\\\?\\SWD#VCAMDEVAPI#1)  virtual camera\n"
              "2  \"USB Camera\" (\\\\?\\usb#vid_046d#2)  " +
                  kDenied +
                  "  <- CameraIndex\n3  \"Effects Windows Virtual Camera\" (\\\\?\\SWD#MSRRAS#3)  "
                  "virtual camera  cannot be opened: in use by another application (0xC00D3704)\n");
    ExpectParts(ReportJson(CamerasReport(listing, 1)),
                {R"({"cameraIndex":1,"listError":null,"cameras":[{"index":0,)",
                 R"("virtual":true,"selected":true,"openError":null},{"index":2,)",
                 R"("selected":false,"openError":"0x80070005","openFailure":"access denied: )"});
    EXPECT_EQ(ConfiguredCamera({false, 0x80004005, {}}, 0).line,
              "camera: CameraIndex 0 cannot be looked up: MFEnumDeviceSources failed with "
              "0x80004005");
    EXPECT_EQ(ReportText(CamerasReport({false, 0x80004005, {}}, 0)),
              "the cameras cannot be listed: MFEnumDeviceSources failed with 0x80004005; " +
                  kFallback + "\n");
}

}  // namespace
}  // namespace orbelune
