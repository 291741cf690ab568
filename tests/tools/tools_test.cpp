#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/text.h"
#include "tests/support/bytes.h"
#include "tools/report/block_reading.h"
#include "tools/ctl/camera_report.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/status_report.h"
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

// A running agent with demand, both blocks published, two consumers started in two time zones.
StatusFacts BusyFacts() {
    StatusFacts facts;
    facts.moduleFolder = u"C:\\Agent";
    facts.producerImage = u"orbelune_windows_retouch_vcam_producer.exe";
    facts.producerIds = {412, 413};
    facts.now = 100000;
    facts.control = {u"Local\\OrbeluneVcamControl.v2", std::vector<std::byte>(80)};
    std::memcpy(facts.control.bytes.data(), "CVBO\2\0\0\0\0\0\0\0\1", 13);
    StoreU64(facts.control.bytes, 16, 100000);  // demand, consumer start, heartbeat
    StoreU64(facts.control.bytes, 24, 99750);
    StoreU64(facts.control.bytes, 48, 90000);
    const vcam::CameraCapability kFormats[] = {{1920, 1080, 30, 1}, {640, 480, 15, 2}};
    facts.capabilities = {u"Global\\OrbeluneVcamCapabilities.v1",
                          PublishedCapabilities(kFormats, 1)};
    const vcam::ConsumerSlot kSlots[] = {
        {u"Zoom \"Meetings\"\n", "zoom.exe", 0, 134117352002500000},
        {u"Cam\u00e9ra \U0001F4F7", "Microsoft.WindowsCamera_8wekyb3d8bbwe", 1, 1},
    };
    facts.consumers = {u"Local\\OrbeluneVcamConsumers.v1", PublishedConsumers(kSlots, 100000)};
    facts.consumerStartsLocal = {LocalTime{2026, 1, 1, 10, 0, 0, 250, 0},
                                 LocalTime{2026, 1, 1, 5, 0, 0, 0, -300}};
    facts.logPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    facts.logBytes = "2026-01-01 10:00:00 agent starting\r\n2026-01-01 10:00:01 caf\xE9\r\n";
    return facts;
}

// Whether every one of `parts` stands in `text`.
void ExpectParts(const std::string& text, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

TEST(StatusReportTest, BusyAgent) {
    StatusFacts facts = BusyFacts();
    facts.cameras = CameraListing{true, 0, {{u"Cam", u"\\\\?\\usb#1", 0u}}};
    ExpectParts(
        StatusText(facts),
        {"(default)\ncamera: CameraIndex 0 names \"Cam\" (\\\\?\\usb#1)\nagent: ",
         "producer (orbelune_windows_retouch_vcam_producer.exe): running, process ids 412, 413\n",
         "  demandTick=100000 (0 ms old, fresh)\n  consumerStartTick=99750 (250 ms old, fresh)\n"
         "  consumerHeartbeatTick=90000 (10000 ms old, stale)\n  demand=yes consumer present=no\n",
         "  cameraIndex 1, count 2, sequence 1\n  [0] 1920x1080@30/1\n  [1] 640x480@15/2\n",
         "  count 2, updated 0 ms ago (updatedTick 100000), sequence 1\n"
         "  [0] \"Zoom \\\"Meetings\\\"\\x0A\" identity \"zoom.exe\", desktop, started 2026-01-01 "
         "10:00:00.250 local time (UTC+00:00)\n  [1] \"Cam\xC3\xA9ra \xF0\x9F\x93\xB7\" identity "
         "\"Microsoft.WindowsCamera_8wekyb3d8bbwe\", packaged, started 2026-01-01 05:00:00.000 "
         "local time (UTC-05:00)\n",
         "last 2 lines:\n  2026-01-01 10:00:00 agent starting\n  2026-01-01 10:00:01 "
         "caf\xC3\xA9\n"});
    ExpectParts(
        StatusJson(facts),
        {R"("camera":{"listedCameras":1,"named":{"index":0,"friendlyName":"Cam",)"
         R"("symbolicLink":"\\\\?\\usb#1","virtual":false,"selected":true,"openError":null}},)",
         R"("running":true,"processIds":[412,413]},"logonEntry":null,)",
         R"("demandTick":{"value":100000,"ageMs":0,"fresh":true},)",
         R"("updatedAgeMs":0,"slots":[{"displayName":"Zoom \"Meetings\"\n",)"
         R"("identity":"zoom.exe","packaged":false,"lastUsedStart":134117352002500000,)"
         R"("startedLocal":"2026-01-01T10:00:00.250+00:00"},)"
         R"({"displayName":"Cam\u00e9ra \ud83d\udcf7","identity":)"
         R"("Microsoft.WindowsCamera_8wekyb3d8bbwe","packaged":true,"lastUsedStart":1,)"
         R"("startedLocal":"2026-01-01T05:00:00.000-05:00"}],)",
         R"("lines":["2026-01-01 10:00:00 agent starting","2026-01-01 10:00:01 caf\u00e9"]}})"
         "\n"});
}

TEST(StatusReportTest, MissingAndStrangeBlocks) {
    StatusFacts facts = BusyFacts();
    facts.producerIds = {7};
    facts.logBytes.reset();
    facts.control.bytes[0] = std::byte{'D'};
    StoreU64(facts.control.bytes, 24, 100250);
    StoreU64(facts.control.bytes, 48, ~0ull);
    // A capabilities block not yet published into, and a consumers block the virtual camera
    // stamped wrongly, with an update from after the tool's clock reading.
    std::vector<std::byte> block(2068);
    std::memcpy(block.data(), "PVBO\0\0\0\0\0\0\0\0\x81", 13);  // version 0, count 129
    facts.capabilities.reading = vcam::ReadCapabilitiesBlock(block.data(), block.size());
    block.assign(608, std::byte{0});
    std::memcpy(block.data(), "OCBX\1\0\0\0\4\0\0\0\0\0\0\0\x94\x88\1", 19);
    StoreU64(block, 24 + 136, 5);  // the first slot's start and `packaged`
    StoreU32(block, 24 + 128, 2);
    std::memcpy(block.data() + 24, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345x", 66);
    facts.consumers.reading = vcam::ReadConsumersBlock(block.data(), block.size());
    facts.consumerStartsLocal.clear();
    ExpectParts(
        StatusText(facts),
        {"running, process id 7\n",
         "control block: magic=0x4F425644 version=2 (invalid: wrong magic, counts as missing)\n",
         "  consumerStartTick=100250 (250 ms in the future, stale)\n"
         "  consumerHeartbeatTick=18446744073709551615 (9223372036854775807 ms in the future, "
         "stale)\n",
         "  demand=no consumer present=no\n",
         "not valid, magic 0x4F425650 version 0 (expected 1); not published by the agent yet\n"
         "  cameraIndex 0, count 129 (more than the 128 slots), sequence 0\n",
         "  [127] 0x0@0/0\nconsumers block (Local\\OrbeluneVcamConsumers.v1): not valid, magic "
         "0x5842434F (expected 0x4F42434F) version 1; the agent never writes a block like this\n"
         "  count 4, updatedTick 100500, 500 ms later than the tool's clock reading, sequence 0\n"
         "  [0] \"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345\" identity \"x\", packaged=2, started at "
         "FILETIME 5 (no local time for it)\n",
         "  [3] \"\" identity \"\", desktop, no start time\nlog "
         "C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log: cannot be read\n"});

    // Sections missing, or too small to be mapped at their block's size.
    facts.control.bytes.clear();
    facts.capabilities = {};
    facts.consumers.reading.reset();
    facts.producerIds.clear();
    ExpectParts(StatusText(facts),
                {"control block: section Local\\OrbeluneVcamControl.v2 cannot be mapped at 80 "
                 "bytes; the agent counts it as missing\ncapabilities block: no section\n"
                 "consumers block: section Local\\OrbeluneVcamConsumers.v1 cannot be mapped at "
                 "608 bytes; the agent counts it as missing\n"});
    ExpectParts(StatusJson(facts), {R"("processIds":[]},"logonEntry":)",
                                    R"("capabilitiesBlock":{"section":null,"mapped":false},)"});
}

// Which camera the configured index names, and the list `cameras` prints: a real camera, a
// virtual one, and one the privacy settings keep closed.
TEST(CameraReportTest, IndexNamesAndWhyACameraCannotBeOpened) {
    const CameraListing listing{
        true,
        0,
        {{u"Integrated Camera", u"\\\\?\\usb#vid_04f2#0", 0u},
         {u"Orbelune Camera", u"\\\\?\\SWD#VCAMDEVAPI#1", 0u},  // virtual by its link
         {u"USB Camera", u"\\\\?\\usb#vid_046d#2", 0x80070005u},
         {u"Effects Windows Virtual Camera", u"\\\\?\\SWD#MSRRAS#3", 0xC00D3704u}}};
    const std::string kFallback = "the agent publishes the 1280x720@30 fallback\n";
    const std::string kDenied =
        "cannot be opened: access denied: camera access for desktop apps is off in the privacy "
        "settings (0x80070005)";
    const struct {
        std::int32_t index;
        std::string line;
    } kCases[] = {
        {0, "camera: CameraIndex 0 names \"Integrated Camera\" (\\\\?\\usb#vid_04f2#0)\n"},
        {1,
         "camera: CameraIndex 1 names \"Orbelune Camera\" (\\\\?\\SWD#VCAMDEVAPI#1), a virtual "
         "camera, not a real one\n"},
        {2, "camera: CameraIndex 2 names \"USB Camera\" (\\\\?\\usb#vid_046d#2); it " + kDenied +
                ", so " + kFallback},
        {4, "camera: CameraIndex 4 names no camera: 4 listed, 0 to 3; " + kFallback},
        {-1, "camera: CameraIndex -1 is negative and names no camera; " + kFallback},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ConfiguredCameraText(listing, c.index), c.line);
    }
    EXPECT_EQ(CamerasText(listing, 2),
              "0  \"Integrated Camera\" (\\\\?\\usb#vid_04f2#0)\n"
              "1  \"Orbelune Camera\" (\\\\?\\SWD#VCAMDEVAPI#1)  virtual camera\n"
              "2  \"USB Camera\" (\\\\?\\usb#vid_046d#2)  " +
                  kDenied +
                  "  <- CameraIndex\n3  \"Effects Windows Virtual Camera\" (\\\\?\\SWD#MSRRAS#3)  "
                  "virtual camera  cannot be opened: in use by another application (0xC00D3704)\n");
    ExpectParts(CamerasJson(listing, 1),
                {R"({"cameraIndex":1,"listError":null,"cameras":[{"index":0,)",
                 R"("virtual":true,"selected":true,"openError":null},{"index":2,)",
                 R"("selected":false,"openError":"0x80070005","openFailure":"access denied: )"});
    EXPECT_EQ(ConfiguredCameraText({false, 0x80004005, {}}, 0),
              "camera: CameraIndex 0 cannot be looked up: MFEnumDeviceSources failed with "
              "0x80004005\n");
}

}  // namespace
}  // namespace orbelune
