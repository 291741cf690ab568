// The settings as the registry of the test prefix holds them: which value types are taken, how
// long a string may be, and where it ends. What the agent makes of them is the core's.
#include "config/settings.h"

#include <gtest/gtest.h>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

TEST(SettingsWinTest, ValuesAreTakenOnlyWithTheirType) {
    const testing::SettingsKey key;
    const DWORD dword = 5;
    const ULONGLONG qword = 5;
    const wchar_t withNul[] = L"ab\0cd";
    key.SetDword(L"CameraIndex", 0xFFFFFFFF);
    key.Set(L"Enabled", REG_QWORD, &qword, sizeof qword);
    key.Set(L"IdleStopMs", REG_BINARY, &dword, sizeof dword);
    key.Set(L"Provider", REG_SZ, withNul, sizeof withNul);
    key.SetDword(L"ProducerExe", 1);
    key.Set(L"RepoRoot", REG_BINARY, L"C:\\", 8);
    RawSettingValues raw = ReadRawSettingValues();
    EXPECT_EQ(raw.cameraIndex, 0xFFFFFFFFu);
    EXPECT_FALSE(raw.enabled);
    EXPECT_FALSE(raw.idleStopMs);
    EXPECT_EQ(raw.provider, u"ab");
    EXPECT_FALSE(raw.producerExe);
    EXPECT_FALSE(raw.repoRoot);

    key.SetString(L"CameraIndex", L"1");
    key.SetString(L"RepoRoot", std::wstring(1023, L'r'));  // what the 2048-byte buffer holds
    key.SetString(L"Provider", std::wstring(1024, L'p'));  // one unit too many
    raw = ReadRawSettingValues();
    EXPECT_FALSE(raw.cameraIndex);
    EXPECT_EQ(raw.repoRoot, std::u16string(1023, u'r'));
    EXPECT_FALSE(raw.provider);
}

}  // namespace
}  // namespace orbelune
