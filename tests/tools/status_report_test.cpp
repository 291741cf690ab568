#include "tools/status_report.h"

#include <gtest/gtest.h>

#include "agent/control_block.h"
#include "capabilities/capabilities.h"
#include "common/bytes.h"
#include "consumers/consumers_block.h"
#include "tools/json_writer.h"

namespace orbelune {
namespace {

TEST(StatusReportTest, JsonStringsAreEscapedToAscii) {
    static const struct {
        std::u16string_view text;
        std::string_view json;
    } kCases[] = {
        {u"", R"("")"},
        {u"plain", R"("plain")"},
        {u"a\"b\\c", R"("a\"b\\c")"},
        {u"C:\\Orbelune\\", R"("C:\\Orbelune\\")"},
        {u"\r\n\t\b\f", R"("\r\n\t\b\f")"},
        {std::u16string_view(u"\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
        {u"\x7f caf\u00e9 \u20ac", R"("\u007f caf\u00e9 \u20ac")"},
        {u"\U0001F600", R"("\ud83d\ude00")"},
        {u"\xD800 lone", R"("\ud800 lone")"},
        {u"</script>", R"("</script>")"},
    };
    for (const auto& c : kCases) {
        JsonWriter json;
        json.String(c.text);
        EXPECT_EQ(json.Text(), c.json);
    }
    JsonWriter latin1;
    latin1.Latin1String("caf\xE9\r\n");
    EXPECT_EQ(latin1.Text(), R"("caf\u00e9\r\n")");
}

TEST(StatusReportTest, JsonNesting) {
    JsonWriter json;
    json.BeginObject();
    json.Key("a");
    json.Number(std::int64_t{-5});
    json.Key("b");
    json.BeginArray();
    json.Number(std::uint64_t{18446744073709551615u});
    json.Bool(true);
    json.BeginObject();
    json.EndObject();
    json.BeginArray();
    json.EndArray();
    json.Null();
    json.EndArray();
    json.Key("c\"");
    json.BeginObject();
    json.Key("d");
    json.Bool(false);
    json.EndObject();
    json.EndObject();
    EXPECT_EQ(json.Text(),
              R"({"a":-5,"b":[18446744073709551615,true,{},[],null],"c\"":{"d":false}})");
}

TEST(StatusReportTest, SettingSources) {
    const auto sources = [](const RawSettingValues& raw) {
        const SettingSources s = SourcesOf(raw, SettingsFromValues(raw, u"C:\\Agent"));
        return std::string{s.cameraIndex ? 'r' : 'd', s.provider ? 'r' : 'd',
                           s.enabled ? 'r' : 'd',     s.idleStopMs ? 'r' : 'd',
                           s.producerExe ? 'r' : 'd', s.repoRoot ? 'r' : 'd'};
    };
    static const struct {
        RawSettingValues raw;
        std::string_view sources;  // r: registry, d: default, in field order
    } kCases[] = {
        {{}, "dddddd"},
        {{0xFFFFFFFF, u"", 2, 0, u"p.exe", u"C:\\Repo"}, "rrrrrr"},
        // Empty strings where the agent falls back to its defaults.
        {{std::nullopt, std::nullopt, std::nullopt, std::nullopt, u"", u""}, "dddddd"},
        {{std::nullopt, u"directml", 0, std::nullopt, std::nullopt, std::nullopt}, "drrddd"},
        // A registry value equal to the default still comes from the registry.
        {{0, std::nullopt, 1, 8000, u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe",
          u"C:\\Agent"},
         "rdrrrr"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(sources(c.raw), c.sources);
    }
}

TEST(StatusReportTest, LastLines) {
    using Lines = std::vector<std::string>;
    static const struct {
        std::string_view text;
        size_t count;
        Lines lines;
    } kCases[] = {
        {"", 10, {}},
        {"a\r\nb\r\nc\r\n", 10, {"a", "b", "c"}},
        {"a\r\nb\r\nc\r\n", 2, {"b", "c"}},
        {"a\r\nb\r\nc", 2, {"b", "c"}},  // a line still being written counts
        {"a\nb\n", 1, {"b"}},
        {"\r\n\r\nx\r\n", 3, {"", "", "x"}},
        {"only", 3, {"only"}},
        {"a\r\nb\r\n", 0, {}},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(LastLines(c.text, c.count), c.lines) << c.text;
    }
}

TEST(StatusReportTest, Utf8AndFileNames) {
    static const struct {
        std::u16string_view text;
        std::string_view utf8;
    } kCases[] = {
        {u"abc", "abc"},
        {u"caf\u00e9", "caf\xC3\xA9"},
        {u"\u20ac", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"\xDC00x", "\xEF\xBF\xBDx"},  // an unpaired low surrogate
        {u"x\xD800", "x\xEF\xBF\xBD"},  // an unpaired high surrogate at the end
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ToUtf8(c.text), c.utf8);
    }
    EXPECT_EQ(FileNameOfPath(u"C:\\Agent\\p.exe"), u"p.exe");
    EXPECT_EQ(FileNameOfPath(u"C:/Agent/sub\\p.exe"), u"p.exe");
    EXPECT_EQ(FileNameOfPath(u"p.exe"), u"p.exe");
    EXPECT_EQ(FileNameOfPath(u"C:\\Agent\\"), u"");
}

StatusFacts SampleFacts() {
    StatusFacts facts;
    facts.raw.provider = u"cuda";
    facts.settings = SettingsFromValues(facts.raw, u"C:\\Agent");
    facts.agentRunning = true;
    facts.producerImage = u"orbelune_windows_retouch_vcam_producer.exe";
    facts.producerIds = {412};
    facts.now = 100000;
    facts.control.name = u"Local\\OrbeluneVcamControl.v2";
    facts.control.bytes.resize(kControlBlockSize);
    StoreU32(facts.control.bytes, kControlMagicOffset, kControlMagic);
    StoreU32(facts.control.bytes, kControlVersionOffset, kControlVersion);
    StoreU64(facts.control.bytes, kControlDemandTickOffset, 99000);
    StoreU64(facts.control.bytes, kControlConsumerHeartbeatTickOffset, 90000);

    std::vector<std::byte> capabilities(kCapabilitiesBlockSize);
    const CameraCapability kFormats[] = {{1920, 1080, 30, 1}, {640, 480, 15, 2}};
    WriteCapabilitiesBlock(capabilities, kFormats, 1);
    facts.capabilities = {u"Global\\OrbeluneVcamCapabilities.v1",
                          ParseCapabilitiesBlock(capabilities)};

    std::vector<std::byte> consumers(kConsumersBlockSize);
    StoreU32(consumers, kConsumersMagicOffset, kConsumersMagic);
    StoreU32(consumers, kConsumersVersionOffset, kConsumersVersion);
    // 2026-01-01 10:00:00.250 UTC and 10:00:00.000 UTC.
    const ConsumerRecord kRecords[] = {
        {u"Zoom \"Meetings\"", u"zoom.exe", false, 134117352002500000},
        {u"Cam\u00e9ra \U0001F4F7", u"Microsoft.WindowsCamera_8wekyb3d8bbwe", true,
         134117352000000000},
    };
    EXPECT_TRUE(WriteConsumersBlock(consumers, kRecords, 99750));
    facts.consumers = {u"Local\\OrbeluneVcamConsumers.v1", ParseConsumersBlock(consumers)};
    // As the edge converts them, in two zones.
    facts.consumers.reading->slots.at(0).startedLocal = LocalTime{2026, 1, 1, 11, 0, 0, 250, 60};
    facts.consumers.reading->slots.at(1).startedLocal = LocalTime{2026, 1, 1, 6, 30, 0, 0, -210};
    facts.logPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    facts.logBytes = "2026-01-01 10:00:00 agent starting\r\n2026-01-01 10:00:01 caf\xE9\r\n";
    return facts;
}

TEST(StatusReportTest, Text) {
    const std::string text = StatusText(SampleFacts());
    static const std::string_view kExpected[] = {
        "settings (HKEY_CURRENT_USER\\Software\\Orbelune):\n",
        "  CameraIndex  0  (default)\n",
        "  Provider     cuda  (registry)\n",
        "  ProducerExe  C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe  (default)\n",
        "agent: running in this session\n",
        "producer (orbelune_windows_retouch_vcam_producer.exe): running, process id 412\n",
        "logon entry: not installed\n",
        "control section Local\\OrbeluneVcamControl.v2\n",
        "  demandTick=99000 (1000 ms old, fresh)\n",
        "  consumerHeartbeatTick=90000 (10000 ms old, stale)\n",
        "  demand=yes consumer present=no\n",
        "capabilities block (Global\\OrbeluneVcamCapabilities.v1): valid, magic 0x4F425650 "
        "version 1\n"
        "  cameraIndex 1, count 2, sequence 1\n  [0] 1920x1080@30/1\n  [1] 640x480@15/2\n",
        "consumers block (Local\\OrbeluneVcamConsumers.v1): valid, magic 0x4F42434F version 1\n"
        "  count 2, updated 250 ms ago (updatedTick 99750), sequence 1\n"
        "  [0] \"Zoom \\\"Meetings\\\"\" identity \"zoom.exe\", desktop, started "
        "2026-01-01 11:00:00.250 local time (UTC+01:00)\n"
        "  [1] \"Cam\xC3\xA9ra \xF0\x9F\x93\xB7\" identity "
        "\"Microsoft.WindowsCamera_8wekyb3d8bbwe\", packaged, started 2026-01-01 06:30:00.000 "
        "local time (UTC-03:30)\n",
        "log C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log, last 2 lines:\n"
        "  2026-01-01 10:00:00 agent starting\n  2026-01-01 10:00:01 caf\xC3\xA9\n",
    };
    for (const std::string_view expected : kExpected) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
    }
}

TEST(StatusReportTest, Json) {
    StatusFacts facts = SampleFacts();
    const std::string json = StatusJson(facts);
    static const std::string_view kExpected[] = {
        R"({"settings":{"CameraIndex":{"value":0,"source":"default"},)",
        R"("Provider":{"value":"cuda","source":"registry"},)",
        R"("Enabled":{"value":true,"source":"default"},)",
        R"("RepoRoot":{"value":"C:\\Agent","source":"default"}},)",
        R"("agentRunning":true,)",
        R"("running":true,"processIds":[412]},"logonEntry":null,)",
        R"("demandTick":{"value":99000,"ageMs":1000,"fresh":true},)",
        R"("demand":true,"consumerPresent":false},)",
        R"("capabilitiesBlock":{"section":"Global\\OrbeluneVcamCapabilities.v1","mapped":true,)"
        R"("magic":1329747536,"version":1,"valid":true,"cameraIndex":1,"count":2,"entries":[)"
        R"({"width":1920,"height":1080,"frameRateNumerator":30,"frameRateDenominator":1},)"
        R"({"width":640,"height":480,"frameRateNumerator":15,"frameRateDenominator":2}],)"
        R"("sequence":1},)",
        R"("consumersBlock":{"section":"Local\\OrbeluneVcamConsumers.v1","mapped":true,)"
        R"("magic":1329742671,"version":1,"valid":true,"count":2,"updatedTick":99750,)"
        R"("updatedAgeMs":250,"slots":[{"displayName":"Zoom \"Meetings\"","identity":"zoom.exe",)"
        R"("packaged":false,"lastUsedStart":134117352002500000,)"
        R"("startedLocal":"2026-01-01T11:00:00.250+01:00"},)"
        R"({"displayName":"Cam\u00e9ra \ud83d\udcf7",)"
        R"("identity":"Microsoft.WindowsCamera_8wekyb3d8bbwe","packaged":true,)"
        R"("lastUsedStart":134117352000000000,"startedLocal":"2026-01-01T06:30:00.000-03:30"}],)"
        R"("sequence":1},)",
        R"("lines":["2026-01-01 10:00:00 agent starting","2026-01-01 10:00:01 caf\u00e9"]}})",
    };
    for (const std::string_view expected : kExpected) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\nin:\n" << json;
    }
    EXPECT_EQ(json.back(), '\n');

    facts.control = {};
    facts.logBytes.reset();
    facts.logonEntry = u"\"C:\\Agent\\orbelune_vcam_agent.exe\"";
    // A capabilities block not yet published into, and a consumers block the virtual camera
    // stamped wrongly, with a count beyond the slots and no update.
    std::vector<std::byte> stranger(kConsumersBlockSize);
    StoreU32(stranger, kConsumersMagicOffset, 0x12345678);
    StoreU32(stranger, kConsumersVersionOffset, kConsumersVersion);
    StoreU32(stranger, kConsumersCountOffset, 7);
    facts.capabilities.reading =
        ParseCapabilitiesBlock(std::vector<std::byte>(kCapabilitiesBlockSize));
    facts.consumers.reading = ParseConsumersBlock(stranger);
    const std::string bare = StatusJson(facts);
    const std::string bareText = StatusText(facts);
    const struct {
        const std::string& output;
        std::string_view expected;
    } kBare[] = {
        {bare, R"("controlBlock":{"section":null,"mapped":false},)"},
        {bare, R"("logonEntry":"\"C:\\Agent\\orbelune_vcam_agent.exe\"")"},
        {bare, R"("lines":null)"},
        {bare, R"("mapped":true,"magic":0,"version":0,"valid":false,"cameraIndex":0,"count":0,)"
               R"("entries":[],"sequence":0},)"},
        {bare, R"("mapped":true,"magic":305419896,"version":1,"valid":false,"count":7,)"
               R"("updatedTick":0,"updatedAgeMs":null,"slots":[{"displayName":"","identity":"",)"
               R"("packaged":false,"lastUsedStart":0,"startedLocal":null},{)"},
        {bareText, "control block: no section under Global\\ or Local\\OrbeluneVcamControl.v2\n"},
        {bareText,
         "capabilities block (Global\\OrbeluneVcamCapabilities.v1): not valid, magic "
         "0x00000000 (expected 0x4F425650) version 0 (expected 1); not published by the "
         "agent yet\n  cameraIndex 0, count 0, sequence 0\nconsumers"},
        {bareText,
         "consumers block (Local\\OrbeluneVcamConsumers.v1): not valid, magic "
         "0x12345678 (expected 0x4F42434F) version 1; the agent never writes a block "
         "like this\n  count 7 (more than the 4 slots), never updated, sequence 0\n"},
        {bareText, "  [3] \"\" identity \"\", desktop, no start time\nlog "},
    };
    for (const auto& c : kBare) {
        EXPECT_NE(c.output.find(c.expected), std::string::npos) << c.expected << "\nin:\n"
                                                                << c.output;
    }
    EXPECT_FALSE(ParseConsumersBlock(std::span(stranger).first(kConsumersBlockSize - 1)));

    // Sections that open but are too small to map are named, and count as missing.
    facts.control.name = u"Global\\OrbeluneVcamControl.v2";
    facts.capabilities = {};
    facts.consumers.reading.reset();
    const std::string small = StatusText(facts);
    EXPECT_NE(small.find("control block: section Global\\OrbeluneVcamControl.v2 cannot be mapped "
                         "at 80 bytes; the agent counts it as missing\n"),
              std::string::npos)
        << small;
    EXPECT_NE(small.find("capabilities block: no section\nconsumers block: section "
                         "Local\\OrbeluneVcamConsumers.v1 cannot be mapped at 608 bytes; the agent "
                         "counts it as missing\n"),
              std::string::npos)
        << small;
    const std::string smallJson = StatusJson(facts);
    EXPECT_NE(smallJson.find(R"("controlBlock":{"section":"Global\\OrbeluneVcamControl.v2",)"
                             R"("mapped":false},)"),
              std::string::npos)
        << smallJson;
    EXPECT_NE(smallJson.find(R"("capabilitiesBlock":{"section":null,"mapped":false},)"
                             R"("consumersBlock":{"section":"Local\\OrbeluneVcamConsumers.v1",)"
                             R"("mapped":false},)"),
              std::string::npos)
        << smallJson;
}

}  // namespace
}  // namespace orbelune
