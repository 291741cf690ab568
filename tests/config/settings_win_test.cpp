// The settings as the registry of the test prefix holds them: which value types are taken, how
// long a string may be, and where it ends. What the agent makes of them is the core's.
#include "config/settings_win.h"

#include <gtest/gtest.h>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

constexpr RawSetting::Outcome kValue = RawSetting::Outcome::kValue;
const RawSetting kOther = {RawSetting::Outcome::kOtherType, 0, u""};

TEST(SettingsWinTest, ValuesAreTakenOnlyWithTheirType) {
    const testing::SettingsKey key;
    EXPECT_EQ(ReadRawSettingValues(), RawSettingValues{});  // every one missing
    const DWORD dword = 5;
    const ULONGLONG qword = 5;
    const wchar_t withNul[] = L"ab\0cd";
    key.SetDword(L"CameraIndex", 0xFFFFFFFF);
    key.Set(L"Enabled", REG_QWORD, &qword, sizeof qword);
    key.Set(L"IdleStopMs", REG_BINARY, &dword, sizeof dword);
    key.Set(L"Provider", REG_SZ, withNul, sizeof withNul);
    key.SetDword(L"ProducerExe", 1);
    key.Set(L"RepoRoot", REG_BINARY, L"C:\\", 8);
    const RawSetting number = {kValue, 0xFFFFFFFF, u""}, text = {kValue, 0, u"ab"};
    EXPECT_EQ(ReadRawSettingValues(),
              (RawSettingValues{number, text, kOther, kOther, kOther, kOther}));

    key.SetString(L"CameraIndex", L"1");
    key.SetString(L"RepoRoot", std::wstring(1023, L'r'));  // what the 2048-byte buffer holds
    key.SetString(L"Provider", std::wstring(1024, L'p'));  // one unit too many
    const RawSetting tooLong = {RawSetting::Outcome::kTooLong, 0, u""},
                     longest = {kValue, 0, std::u16string(1023, u'r')};
    EXPECT_EQ(ReadRawSettingValues(),
              (RawSettingValues{kOther, tooLong, kOther, kOther, kOther, longest}));
}

}  // namespace
}  // namespace orbelune
