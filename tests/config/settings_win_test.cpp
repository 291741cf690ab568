// The settings as the registry of the test prefix holds them: which value types are taken, how
// long a string may be, and where it ends. What the agent makes of them is the core's.
#include "config/settings_win.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

// Each raw value in short: its number or text, or why it does not count.
std::string Read() {
    static const char* const kOutcomes[] = {"missing", "", "other type", "too long", "unreadable"};
    std::string text;
    for (const RawSetting& value : ReadRawSettingValues()) {
        text += text.empty() ? "" : ", ";
        text += value.outcome != RawSetting::Outcome::kValue
                    ? kOutcomes[static_cast<int>(value.outcome)]
                : value.text.empty() ? std::to_string(value.number)
                                     : ToUtf8(value.text);
    }
    return text;
}

TEST(SettingsWinTest, ValuesAreTakenOnlyWithTheirType) {
    const testing::SettingsKey key;
    EXPECT_EQ(Read(), "missing, missing, missing, missing, missing, missing");
    const DWORD dword = 5;
    const ULONGLONG qword = 5;
    const wchar_t withNul[] = L"ab\0cd";
    key.SetDword(L"CameraIndex", 0xFFFFFFFF);
    key.Set(L"Enabled", REG_QWORD, &qword, sizeof qword);
    key.Set(L"IdleStopMs", REG_BINARY, &dword, sizeof dword);
    key.Set(L"Provider", REG_SZ, withNul, sizeof withNul);
    key.SetDword(L"ProducerExe", 1);
    key.Set(L"RepoRoot", REG_BINARY, L"C:\\", 8);
    EXPECT_EQ(Read(), "4294967295, ab, other type, other type, other type, other type");

    key.SetString(L"CameraIndex", L"1");
    key.SetString(L"RepoRoot", std::wstring(1023, L'r'));  // what the 2048-byte buffer holds
    key.SetString(L"Provider", std::wstring(1024, L'p'));  // one unit too many
    EXPECT_EQ(Read(), "other type, too long, other type, other type, other type, " +
                          std::string(1023, 'r'));
}

}  // namespace
}  // namespace orbelune
