#include "tools/status_report.h"

#include <gtest/gtest.h>

#include "agent/control_block.h"
#include "common/bytes.h"
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

std::string DescribeForTest(std::span<const std::byte> bytes) {
    return "size " + std::to_string(bytes.size()) + "\nsecond line\n";
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
    facts.blocks.push_back({"capabilities block", "capabilitiesBlock", {}, nullptr});
    facts.blocks.push_back({"consumers block",
                            "consumersBlock",
                            {u"Local\\OrbeluneVcamConsumers.v1", std::vector<std::byte>(608)},
                            &DescribeForTest});
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
        "capabilities block: no section; not available in this build\n",
        "consumers block (Local\\OrbeluneVcamConsumers.v1):\n  size 608\n  second line\n",
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
        R"("capabilitiesBlock":{"section":null,"mapped":false,"available":false},)",
        R"("consumersBlock":{"section":"Local\\OrbeluneVcamConsumers.v1","mapped":true,)"
        R"("available":true,)"
        R"("text":"size 608\nsecond line\n"},)",
        R"("lines":["2026-01-01 10:00:00 agent starting","2026-01-01 10:00:01 caf\u00e9"]}})",
    };
    for (const std::string_view expected : kExpected) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\nin:\n" << json;
    }
    EXPECT_EQ(json.back(), '\n');

    facts.control = {};
    facts.logBytes.reset();
    facts.logonEntry = u"\"C:\\Agent\\orbelune_vcam_agent.exe\"";
    const std::string bare = StatusJson(facts);
    EXPECT_NE(bare.find(R"("controlBlock":{"section":null,"mapped":false},)"), std::string::npos)
        << bare;
    EXPECT_NE(bare.find(R"("logonEntry":"\"C:\\Agent\\orbelune_vcam_agent.exe\"")"),
              std::string::npos)
        << bare;
    EXPECT_NE(bare.find(R"("lines":null)"), std::string::npos) << bare;
    EXPECT_NE(StatusText(facts).find("control block: no section under Global\\ or Local\\"
                                     "OrbeluneVcamControl.v2\n"),
              std::string::npos);

    // Sections that open but are too small to map are named, and count as missing.
    facts.control.name = u"Global\\OrbeluneVcamControl.v2";
    facts.blocks[1].section.bytes.clear();
    const std::string small = StatusText(facts);
    EXPECT_NE(small.find("control block: section Global\\OrbeluneVcamControl.v2 cannot be mapped "
                         "at 80 bytes; the agent counts it as missing\n"),
              std::string::npos)
        << small;
    EXPECT_NE(small.find("consumers block: section Local\\OrbeluneVcamConsumers.v1 cannot be "
                         "mapped at its full size; the agent counts it as missing\n"),
              std::string::npos)
        << small;
    const std::string smallJson = StatusJson(facts);
    EXPECT_NE(smallJson.find(R"("controlBlock":{"section":"Global\\OrbeluneVcamControl.v2",)"
                             R"("mapped":false},)"),
              std::string::npos)
        << smallJson;
    EXPECT_NE(smallJson.find(R"("mapped":false,"available":true},)"), std::string::npos)
        << smallJson;
}

}  // namespace
}  // namespace orbelune
