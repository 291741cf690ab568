#include "config/settings.h"

#include <gtest/gtest.h>

#include "common/path.h"

namespace orbelune {
namespace {

// The settings in short: index, provider, enabled, idle time, producer path, repository root.
std::string Shown(const RawSettingValues& raw, std::u16string_view moduleFolder) {
    const AgentSettings s = SettingsFromValues(raw, moduleFolder);
    std::string text = std::to_string(s.cameraIndex);
    for (const std::u16string& part :
         {s.provider, std::u16string(s.enabled ? u"1" : u"0"),
          DecimalText(static_cast<unsigned long long>(s.idleStopMs)), s.producerExe, s.repoRoot}) {
        text.append(" ").append(part.begin(), part.end());
    }
    return text;
}

TEST(SettingsTest, EachValueOrItsDefault) {
    // Defaults, with no folder when the executable's own path cannot be had.
    EXPECT_EQ(Shown({}, u""), "0 directml 1 8000 orbelune_windows_retouch_vcam_producer.exe ");
    // Empty paths are defaults too; an empty provider is not.
    EXPECT_EQ(Shown({0xFFFFFFFF, u"", 2, 0xFFFFFFFF, u"", u""}, u"C:\\"),
              "-1  1 4294967295 C:\\orbelune_windows_retouch_vcam_producer.exe C:\\");
    EXPECT_EQ(Shown({0x80000000, u"cuda", 0, 0, u"p.exe", u"D:\\r\\"}, u"C:\\A"),
              "-2147483648 cuda 0 0 p.exe D:\\r\\");
}

}  // namespace
}  // namespace orbelune
