#include "config/settings.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

using Text = std::optional<std::u16string>;

TEST(SettingsTest, EachValueOrItsDefault) {
    const std::u16string exe = u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe";
    const struct {
        RawSettingValues raw;
        std::int32_t cameraIndex;
        std::u16string_view provider;
        bool enabled;
        std::uint64_t idleStopMs;
        std::u16string producerExe, repoRoot;
    } kCases[] = {
        {{}, 0, u"directml", true, 8000, exe, u"C:\\Agent"},
        {{0xFFFFFFFF, u"", 2, 0xFFFFFFFF, u"", u""}, -1, u"", true, 4294967295, exe, u"C:\\Agent"},
        {{0x80000000, u"cuda", 0, 0, u"producer.exe", u"D:\\repo\\"},
         -2147483647 - 1,
         u"cuda",
         false,
         0,
         u"producer.exe",
         u"D:\\repo\\"},
        {{7, Text(), 1, 1, Text(), u"."}, 7, u"directml", true, 1, exe, u"."},
    };
    for (const auto& c : kCases) {
        const AgentSettings s = SettingsFromValues(c.raw, u"C:\\Agent");
        EXPECT_EQ(s.cameraIndex, c.cameraIndex);
        EXPECT_EQ(s.provider, c.provider);
        EXPECT_EQ(s.enabled, c.enabled);
        EXPECT_EQ(s.idleStopMs, c.idleStopMs);
        EXPECT_EQ(s.producerExe, c.producerExe);
        EXPECT_EQ(s.repoRoot, c.repoRoot);
    }
}

TEST(SettingsTest, ModuleFolderShapesTheDefaultPaths) {
    static const struct {
        std::u16string_view folder, producerExe;
    } kCases[] = {
        {u"C:\\", u"C:\\orbelune_windows_retouch_vcam_producer.exe"},
        {u"C:\\a/", u"C:\\a/orbelune_windows_retouch_vcam_producer.exe"},
        {u"", u"orbelune_windows_retouch_vcam_producer.exe"},  // no path for the executable
    };
    for (const auto& c : kCases) {
        const AgentSettings s = SettingsFromValues({}, c.folder);
        EXPECT_EQ(s.producerExe, c.producerExe);
        EXPECT_EQ(s.repoRoot, c.folder);
    }
}

}  // namespace
}  // namespace orbelune
