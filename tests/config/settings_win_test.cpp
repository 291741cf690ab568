// The settings read against the real registry of the test prefix.
#include "config/settings.h"

#include <gtest/gtest.h>

#include "common/path.h"
#include "common/text_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using testing::SettingsKey;

TEST(SettingsWinTest, NoKeyGivesDefaultsBesideTheExecutable) {
    SettingsKey key;
    const AgentSettings s = ReadAgentSettings();
    const std::u16string folder = ModuleDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder, FolderOfPath(JoinPath(folder, u"x.exe")));
    EXPECT_EQ(s.cameraIndex, 0);
    EXPECT_EQ(s.provider, u"directml");
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.idleStopMs, 8000u);
    EXPECT_EQ(s.producerExe, JoinPath(folder, u"orbelune_windows_retouch_vcam_producer.exe"));
    EXPECT_EQ(s.repoRoot, folder);
}

TEST(SettingsWinTest, ValuesOfEachType) {
    SettingsKey key;
    key.SetDword(L"CameraIndex", 0xFFFFFFFF);
    key.SetString(L"Provider", L"");
    key.SetDword(L"Enabled", 2);
    key.SetDword(L"IdleStopMs", 0xFFFFFFFF);
    key.SetString(L"ProducerExe", L"producer.exe");
    key.SetString(L"RepoRoot", L"D:\\repo\\");
    AgentSettings s = ReadAgentSettings();
    EXPECT_EQ(s.cameraIndex, -1);
    EXPECT_EQ(s.provider, u"");
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.idleStopMs, 4294967295u);
    EXPECT_EQ(s.producerExe, u"producer.exe");
    EXPECT_EQ(s.repoRoot, u"D:\\repo\\");

    // A value deleted between two reads shows its default in the second.
    key.Delete(L"CameraIndex");
    key.Delete(L"IdleStopMs");
    key.SetDword(L"Enabled", 0);
    s = ReadAgentSettings();
    EXPECT_EQ(s.cameraIndex, 0);
    EXPECT_EQ(s.idleStopMs, 8000u);
    EXPECT_FALSE(s.enabled);
}

TEST(SettingsWinTest, WrongTypesFallBack) {
    SettingsKey key;
    const std::u16string folder = ModuleDirectory();
    const DWORD one = 1;
    const unsigned long long wide = 5;
    key.SetString(L"CameraIndex", L"1");
    key.SetRaw(L"Enabled", REG_QWORD, &wide, sizeof wide);
    key.SetRaw(L"IdleStopMs", REG_BINARY, &one, sizeof one);
    key.SetDword(L"Provider", 1);
    key.SetDword(L"ProducerExe", 1);
    key.SetRaw(L"RepoRoot", REG_BINARY, L"C:\\", 8);
    const AgentSettings s = ReadAgentSettings();
    EXPECT_EQ(s.cameraIndex, 0);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.idleStopMs, 8000u);
    EXPECT_EQ(s.provider, u"directml");
    EXPECT_EQ(s.producerExe, JoinPath(folder, u"orbelune_windows_retouch_vcam_producer.exe"));
    EXPECT_EQ(s.repoRoot, folder);
}

TEST(SettingsWinTest, StringLengthLimit) {
    SettingsKey key;
    const std::u16string folder = ModuleDirectory();
    static const struct {
        size_t length;
        bool whole;
    } kCases[] = {{1023, true}, {1024, false}, {5000, false}};
    for (const auto& c : kCases) {
        key.SetString(L"Provider", std::wstring(c.length, L'p'));
        key.SetString(L"ProducerExe", L"C:\\" + std::wstring(c.length - 3, L'e'));
        key.SetString(L"RepoRoot", L"C:\\" + std::wstring(c.length - 3, L'r'));
        const AgentSettings s = ReadAgentSettings();
        EXPECT_EQ(s.provider, c.whole ? std::u16string(c.length, u'p') : u"directml") << c.length;
        EXPECT_EQ(s.producerExe.size(), c.whole ? c.length : folder.size() + 43) << c.length;
        EXPECT_EQ(s.repoRoot.size(), c.whole ? c.length : folder.size()) << c.length;
    }
}

TEST(SettingsWinTest, StringTakenUpToItsFirstNul) {
    SettingsKey key;
    const wchar_t text[] = L"ab\0cd";
    key.SetRaw(L"Provider", REG_SZ, text, sizeof text);
    EXPECT_EQ(ReadAgentSettings().provider, u"ab");
}

}  // namespace
}  // namespace orbelune
