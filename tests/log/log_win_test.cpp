// The log file under the prefix's program-data folder.
#include "log/log_win.h"
#include "log/log_access_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "common/text_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

TEST(LogWinTest, WholeLinesAppendedUnderProgramData) {
    wchar_t programData[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH), 0u);
    ASSERT_EQ(LogBaseFolder(), ToU16(programData));
    const std::wstring orbelune = std::wstring(programData) + L"\\Orbelune";
    const std::wstring path = orbelune + L"\\Logs\\vcam-agent.log";

    // No log folder yet: the first line creates Orbelune\Logs and the file.
    DeleteFileW(path.c_str());
    RemoveDirectoryW((orbelune + L"\\Logs").c_str());
    RemoveDirectoryW(orbelune.c_str());  // a fresh prefix has none
    ASSERT_EQ(GetFileAttributesW(orbelune.c_str()), INVALID_FILE_ATTRIBUTES);
    WriteLogLine(u"first line");
    WriteLogLine(u"caf\u00e9\nsecond \u20ac");
    // Only the path's own folders are made, none for a part of a name.
    EXPECT_EQ(GetFileAttributesW((orbelune + L"\\Log").c_str()), INVALID_FILE_ATTRIBUTES);
    static const std::regex kLines(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d first line\r\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d caf\xe9\r\nsecond \\?\r\n");
    const std::string before = testing::ReadFileBytes(path);
    EXPECT_TRUE(std::regex_match(before, kLines)) << before;

    // A file that another program holds without sharing: the line is dropped without a word
    // to the caller, and the next one is written as usual.
    {
        const UniqueHandle lock(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock.IsValid());
        WriteLogLine(u"dropped");
    }
    WriteLogLine(u"after");
    const std::string after = testing::ReadFileBytes(path);
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(after.size(), before.size() + 20 + 7);

    // A file deleted while the agent runs is made again by the next line.
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    WriteLogLine(u"again");
    EXPECT_EQ(testing::ReadFileBytes(path).size(), 20u + 7);
}

// The log folders' security as Windows reads it back: the entries that the rules of
// log_access.h judge, which let every user append and nobody rewrite (Wine enforces none of it,
// nor keeps it on a folder).
TEST(LogWinTest, FolderSecurityLetsEveryUserAppendAndNobodyRewrite) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        ToWide(kLogFolderSecurity).c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    const UniqueLocalMemory<void> owner(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && dacl);
    EXPECT_TRUE(control & SE_DACL_PROTECTED);  // ProgramData's creator-owner ACE stays out
    // 0x1F01FF is full control; 0x1200AF list, traverse, read, add file and add folder, but
    // no delete-child; 0x12008D read and FILE_APPEND_DATA, but no FILE_WRITE_DATA, DELETE or
    // WRITE_DAC; 0x20000 READ_CONTROL alone.
    const std::vector<AccessEntry> entries = ReadAccessEntries(*dacl);
    EXPECT_EQ(entries, (std::vector<AccessEntry>{
                           {true, "S-1-5-18", 0x1F01FF, 0x03},      // SYSTEM
                           {true, "S-1-5-32-544", 0x1F01FF, 0x03},  // Administrators
                           {true, "S-1-5-4", 0x1200AF, 0x00},       // interactive users: the folder
                           {true, "S-1-5-4", 0x12008D, 0x09},       // ... each file in it
                           {true, "S-1-3-4", 0x20000, 0x03},        // OWNER RIGHTS
                       }));
    EXPECT_EQ(JudgeLogPath(LogPathKind::kLogFolder, {false, 1, false, entries}), std::nullopt);
}

// A log path as the edge reads it (Wine keeps no descriptor on a file; only Windows shows the
// grants): a file with a second name, and nothing for a missing one.
TEST(LogWinTest, ReadsTheLogPathItself) {
    const testing::ScratchFolder folder(L"access");
    const std::wstring file = folder.Path() + L"\\vcam-agent.log";
    ASSERT_TRUE(std::ofstream(std::filesystem::path(file)).good());
    ASSERT_TRUE(CreateHardLinkW((file + L"2").c_str(), file.c_str(), nullptr));
    const std::optional<LogPathSecurity> read = ReadLogPathSecurity(ToU16(file));
    ASSERT_TRUE(read);
    EXPECT_EQ(std::pair(read->links, read->reparsePoint), std::pair(2u, false));
    EXPECT_EQ(ReadLogPathSecurity(ToU16(file + L"3")), std::nullopt);
}

// The fallbacks of the base folder as the environment gives them: the ProgramData variable
// while it fits its 260-unit buffer; the temporary folder (GetTempPathW and GetTempPath2W take
// the TMP variable first and add a separator) while it is a folder.
TEST(LogWinTest, FallbackFolders) {
    const std::wstring programData = _wgetenv(L"ProgramData"), tmp = _wgetenv(L"TMP");
    const std::wstring fits(259, L'p'), tooLong(260, L'p');
    for (const auto& [value, folder] :
         {std::pair<const wchar_t*, std::optional<std::u16string>>{nullptr, std::nullopt},
          {fits.c_str(), ToU16(fits)},
          {tooLong.c_str(), std::nullopt}}) {
        SetEnvironmentVariableW(L"ProgramData", value);
        EXPECT_EQ(EnvironmentProgramDataFolder(), folder);
    }
    // The temporary folders, at the length limit too: with its separator, a folder of 259
    // units is the longest that GetFileAttributesW takes without a long-path prefix, and one of
    // 261 is longer than the calls give.
    const testing::ScratchFolder temp(L"temp");
    const std::wstring file = temp.Path() + L"\\file";
    ASSERT_TRUE(std::ofstream(std::filesystem::path(file)).good());
    const std::wstring longest = temp.Path() + L'\\' + std::wstring(257 - temp.Path().size(), L'd'),
                       beyond = longest + L"dd";
    for (const std::wstring& folder : {longest, beyond}) {
        CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    }
    for (const auto& [value, folder] : {std::pair<std::wstring, std::optional<std::u16string>>{
                                            temp.Path(), ToU16(temp.Path() + L"\\")},
                                        {file, std::nullopt},
                                        {longest, ToU16(longest + L"\\")},
                                        {beyond, std::nullopt}}) {
        SetEnvironmentVariableW(L"TMP", value.c_str());
        EXPECT_EQ(TemporaryFolder(), folder) << value.size();
    }
    for (const std::wstring& folder : {beyond, longest}) {  // too long for the scratch removal
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
    }
    SetEnvironmentVariableW(L"ProgramData", programData.c_str());
    SetEnvironmentVariableW(L"TMP", tmp.c_str());
}

}  // namespace
}  // namespace orbelune
