#include "config/settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "common/text.h"

namespace orbelune {
namespace {

RawSetting Number(std::uint32_t value) {
    return {RawSetting::Outcome::kValue, value, {}};
}
RawSetting Text(std::u16string_view value) {
    return {RawSetting::Outcome::kValue, 0, std::u16string(value)};
}

TEST(SettingsTest, EachValueOrItsDefault) {
    constexpr bool R = true, D = false;  // the registry's value stands, or the default
    static const struct {
        RawSettingValues raw;
        AgentSettings settings;  // with the agent in C:\A
        std::array<bool, kSettingCount> fromRegistry;
    } kCases[] = {
        // Empty paths are defaults too; an empty provider is not. A value equal to its default
        // is still the registry's.
        {{Number(0xFFFFFFFF), Text(u""), Number(2), Number(0xFFFFFFFF), Text(u""), Text(u"")},
         {-1, u"", true, 4294967295, u"C:\\A\\orbelune_windows_retouch_vcam_producer.exe",
          u"C:\\A"},
         {R, R, R, R, D, D}},
        {{Number(0x80000000), Text(u"directml"), Number(0), Number(8000), Text(u"p.exe"),
          Text(u"D:\\r\\")},
         {-2147483647 - 1, u"directml", false, 8000, u"p.exe", u"D:\\r\\"},
         {R, R, R, R, R, R}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::Message() << "row " << &c - kCases);
        const AgentSettings s = SettingsFromValues(c.raw, u"C:\\A"), &e = c.settings;
        EXPECT_EQ(
            std::tie(s.cameraIndex, s.provider, s.enabled, s.idleStopMs, s.producerExe, s.repoRoot),
            std::tie(e.cameraIndex, e.provider, e.enabled, e.idleStopMs, e.producerExe,
                     e.repoRoot));
        for (size_t i = 0; i < kSettingCount; ++i) {
            EXPECT_EQ(ResolveSetting(c.raw, Setting(i), u"C:\\A").fromRegistry, c.fromRegistry[i])
                << ToUtf8(kSettingRows[i].name);
        }
    }
}

}  // namespace
}  // namespace orbelune
