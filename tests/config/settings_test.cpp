#include "config/settings.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(SettingsTest, EachValueOrItsDefault) {
    using Text = std::optional<std::u16string>;
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
    // The default paths from the executable's folder: a drive root, a folder ending in '/', and
    // none at all when the executable's path cannot be had.
    for (const std::u16string_view folder : {u"C:\\", u"C:\\a/", u""}) {
        const AgentSettings s = SettingsFromValues({}, folder);
        EXPECT_EQ(s.producerExe,
                  std::u16string(folder) + u"orbelune_windows_retouch_vcam_producer.exe");
        EXPECT_EQ(s.repoRoot, folder);
    }
}

}  // namespace
}  // namespace orbelune
