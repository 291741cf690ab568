// The log file under the prefix's program-data folder.
#include "log/log_win.h"
#include "log/log_access_win.h"

#include <sddl.h>

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
    // The log's paths as read for their security: the file itself, with a second name.
    ASSERT_TRUE(CreateHardLinkW((path + L"2").c_str(), path.c_str(), nullptr));
    const auto read = ReadLogAccess(ToU16(programData));
    DeleteFileW((path + L"2").c_str());
    EXPECT_TRUE(read[0] && read[1] && read[2] && read[2]->links == 2 && !read[2]->reparsePoint);

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
    EXPECT_EQ(ReadFileTail(path, 8), std::string(" after\r\n"));

    // A file deleted while the agent runs is made again by the next line.
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(ReadLogAccess(ToU16(programData))[2], std::nullopt);
    WriteLogLine(u"again");
    EXPECT_EQ(testing::ReadFileBytes(path).size(), 20u + 7);
}

// The log folders' own security, as the edge reads a DACL back (Wine keeps none on a file), lets
// every signed-in user's agent create the log and append to it; a deny ahead of its grants does
// not.
TEST(LogWinTest, TheLogFolderSecurityPassesItsOwnRule) {
    std::wstring denied = ToWide(kLogFolderSecurity);  // users may not add the file, first
    denied.insert(denied.find(L'('), L"(D;;0x2;;;IU)");
    for (const std::wstring& sddl : {ToWide(kLogFolderSecurity), denied}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
        const UniqueLocalMemory<void> owner(descriptor);
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && dacl);
        EXPECT_EQ(JudgeLogPath(LogPathKind::kLogFolder, {false, 1, false, ReadAccessEntries(*dacl)})
                      .has_value(),
                  sddl == denied);
    }
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
    // The temporary folders at the limit: with its separator, 259 units is the longest that
    // GetFileAttributesW takes without a long-path prefix, and 261 more than the calls give.
    const testing::ScratchFolder temp(L"temp");
    const std::wstring file = temp.Path() + L"\\file";
    ASSERT_TRUE(std::ofstream(std::filesystem::path(file)).good());
    const std::wstring longest = temp.Path() + L'\\' + std::wstring(257 - temp.Path().size(), L'd'),
                       beyond = longest + L"dd";
    ASSERT_TRUE(CreateDirectoryW(longest.c_str(), nullptr));
    for (const auto& [value, folder] : {std::pair<std::wstring, std::optional<std::u16string>>{
                                            temp.Path(), ToU16(temp.Path() + L"\\")},
                                        {file, std::nullopt},
                                        {longest, ToU16(longest + L"\\")},
                                        {beyond, std::nullopt}}) {
        SetEnvironmentVariableW(L"TMP", value.c_str());
        EXPECT_EQ(TemporaryFolder(), folder) << value.size();
    }
    SetEnvironmentVariableW(L"ProgramData", programData.c_str());
    SetEnvironmentVariableW(L"TMP", tmp.c_str());
}

}  // namespace
}  // namespace orbelune
