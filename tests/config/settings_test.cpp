#include "config/settings.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace orbelune {
namespace {

RawSetting Number(std::uint32_t value) {
    return {RawSetting::Outcome::kValue, value, {}};
}
RawSetting Text(std::u16string_view value) {
    return {RawSetting::Outcome::kValue, 0, std::u16string(value)};
}
const RawSetting kOtherType = {RawSetting::Outcome::kOtherType, 5, u"x"};

// The snapshot in short: index, provider, enabled, idle time, producer path, repository root,
// each in brackets where the default stands in for the registry's value.
std::string Shown(const RawSettingValues& raw, std::u16string_view moduleFolder) {
    const AgentSettings s = SettingsFromValues(raw, moduleFolder);
    const std::u16string values[] = {DecimalText(static_cast<long long>(s.cameraIndex)),
                                     s.provider,
                                     s.enabled ? u"1" : u"0",
                                     DecimalText(static_cast<unsigned long long>(s.idleStopMs)),
                                     s.producerExe,
                                     s.repoRoot};
    std::string text;
    for (size_t i = 0; i < kSettingCount; ++i) {
        const bool fromRegistry = ResolveSetting(raw, Setting(i), moduleFolder).fromRegistry;
        text += (i == 0 ? "" : " ") + std::string(fromRegistry ? "" : "[") + ToUtf8(values[i]) +
                (fromRegistry ? "" : "]");
    }
    return text;
}

TEST(SettingsTest, EachValueOrItsDefault) {
    // Defaults, with no folder when the executable's own path cannot be had.
    EXPECT_EQ(Shown({}, u""),
              "[0] [directml] [1] [8000] [orbelune_windows_retouch_vcam_producer.exe] []");
    EXPECT_EQ(
        Shown({kOtherType, kOtherType, kOtherType, kOtherType, kOtherType, kOtherType}, u"C:\\A"),
        "[0] [directml] [1] [8000] [C:\\A\\orbelune_windows_retouch_vcam_producer.exe] "
        "[C:\\A]");
    // Empty paths are defaults too; an empty provider is not. A value equal to its default is
    // still the registry's.
    EXPECT_EQ(
        Shown({Number(0xFFFFFFFF), Text(u""), Number(2), Number(0xFFFFFFFF), Text(u""), Text(u"")},
              u"C:\\"),
        "-1  1 4294967295 [C:\\orbelune_windows_retouch_vcam_producer.exe] [C:\\]");
    EXPECT_EQ(Shown({Number(0x80000000), Text(u"directml"), Number(0), Number(8000), Text(u"p.exe"),
                     Text(u"D:\\r\\")},
                    u"C:\\A"),
              "-2147483648 directml 0 8000 p.exe D:\\r\\");
    EXPECT_EQ(FindSetting(u"idlestopMS"), Setting::kIdleStopMs);
    EXPECT_EQ(FindSetting(u"IdleStopMs "), std::nullopt);
}

}  // namespace
}  // namespace orbelune
