#include "config/settings.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

constexpr std::u16string_view kFolder = u"C:\\Agent";
const std::u16string kDefaultExe = u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe";

TEST(SettingsTest, NoKeyGivesEveryDefault) {
    const AgentSettings s = SettingsFromValues({}, kFolder);
    EXPECT_EQ(s.cameraIndex, 0);
    EXPECT_EQ(s.provider, u"directml");
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.idleStopMs, 8000u);
    EXPECT_EQ(s.producerExe, kDefaultExe);
    EXPECT_EQ(s.repoRoot, u"C:\\Agent");
}

TEST(SettingsTest, NumbersAsRead) {
    static const struct {
        std::optional<std::uint32_t> cameraIndex, enabled, idleStopMs;
        std::int32_t wantIndex;
        bool wantEnabled;
        std::uint64_t wantIdle;
    } kCases[] = {
        {0xFFFFFFFFu, 2u, 0xFFFFFFFFu, -1, true, 4294967295u},
        {7u, 0u, 0u, 7, false, 0u},
        {0x80000000u, 1u, 1u, -2147483647 - 1, true, 1u},
        {std::nullopt, std::nullopt, std::nullopt, 0, true, 8000u},
    };
    for (const auto& c : kCases) {
        RawSettingValues raw;
        raw.cameraIndex = c.cameraIndex;
        raw.enabled = c.enabled;
        raw.idleStopMs = c.idleStopMs;
        const AgentSettings s = SettingsFromValues(raw, kFolder);
        EXPECT_EQ(s.cameraIndex, c.wantIndex);
        EXPECT_EQ(s.enabled, c.wantEnabled);
        EXPECT_EQ(s.idleStopMs, c.wantIdle);
    }
}

TEST(SettingsTest, StringsAndTheirFallbacks) {
    const std::u16string long1023(1023, u'p');
    static const struct {
        std::optional<std::u16string> provider, producerExe, repoRoot;
        std::u16string wantProvider, wantExe, wantRoot;
    } kCases[] = {
        // An empty Provider stays empty; empty paths fall back to the module folder.
        {u"", u"", u"", u"", kDefaultExe, u"C:\\Agent"},
        {u"cuda", u"producer.exe", u"D:\\repo\\", u"cuda", u"producer.exe", u"D:\\repo\\"},
        {std::nullopt, u"C:\\p\\x.exe", std::nullopt, u"directml", u"C:\\p\\x.exe", u"C:\\Agent"},
        {long1023, std::nullopt, u".", long1023, kDefaultExe, u"."},
    };
    for (const auto& c : kCases) {
        RawSettingValues raw;
        raw.provider = c.provider;
        raw.producerExe = c.producerExe;
        raw.repoRoot = c.repoRoot;
        const AgentSettings s = SettingsFromValues(raw, kFolder);
        EXPECT_EQ(s.provider, c.wantProvider);
        EXPECT_EQ(s.producerExe, c.wantExe);
        EXPECT_EQ(s.repoRoot, c.wantRoot);
    }
}

TEST(SettingsTest, ModuleFolderShapesTheDefaults) {
    static const struct {
        std::u16string_view folder;
        std::u16string_view wantExe;
        std::u16string_view wantRoot;
    } kCases[] = {
        {u"C:\\", u"C:\\orbelune_windows_retouch_vcam_producer.exe", u"C:\\"},
        {u"C:\\a/", u"C:\\a/orbelune_windows_retouch_vcam_producer.exe", u"C:\\a/"},
        // Executable path not available: the bare name, and no repository root.
        {u"", u"orbelune_windows_retouch_vcam_producer.exe", u""},
    };
    for (const auto& c : kCases) {
        const AgentSettings s = SettingsFromValues({}, c.folder);
        EXPECT_EQ(s.producerExe, c.wantExe);
        EXPECT_EQ(s.repoRoot, c.wantRoot);
    }
}

}  // namespace
}  // namespace orbelune
