// The log file under the prefix's program-data folder.
#include "log/log.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/text_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

TEST(LogWinTest, WholeLinesAppendedUnderProgramData) {
    wchar_t programData[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH), 0u);
    ASSERT_EQ(LogBaseFolder(), ToU16(programData));
    const std::wstring path = ToWide(LogFilePath(LogBaseFolder().value()));
    const std::wstring orbelune = std::wstring(programData) + L"\\Orbelune";

    // No log folder yet: the first line creates Orbelune\Logs and the file.
    DeleteFileW(path.c_str());
    RemoveDirectoryW((orbelune + L"\\Logs").c_str());
    RemoveDirectoryW(orbelune.c_str());  // a fresh prefix has none
    ASSERT_EQ(GetFileAttributesW(orbelune.c_str()), INVALID_FILE_ATTRIBUTES);
    WriteLogLine(u"first line");
    WriteLogLine(u"caf\u00e9\nsecond \u20ac");
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

}  // namespace
}  // namespace orbelune
