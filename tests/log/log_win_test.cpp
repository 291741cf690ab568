// The log file under the prefix's program-data folder.
#include "log/log.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "common/text_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using testing::AgentLogPath;
using testing::ReadFileBytes;

TEST(LogWinTest, BaseFolderIsProgramData) {
    wchar_t expected[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"ProgramData", expected, MAX_PATH), 0u);
    EXPECT_EQ(LogBaseFolder(), ToU16(expected));
}

TEST(LogWinTest, CreatesFoldersAndAppendsWholeLines) {
    const std::wstring base = ToWide(LogBaseFolder().value());
    const std::wstring logs = base + L"\\Orbelune\\Logs";
    DeleteFileW(AgentLogPath().c_str());
    RemoveDirectoryW(logs.c_str());
    RemoveDirectoryW((base + L"\\Orbelune").c_str());
    ASSERT_EQ(GetFileAttributesW(logs.c_str()), INVALID_FILE_ATTRIBUTES);

    WriteLogLine(u"first line");
    WriteLogLine(u"caf\u00e9\nsecond \u20ac");
    const std::string content = ReadFileBytes(AgentLogPath());
    static const std::regex kExpected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d first line\r\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d caf\xe9\r\nsecond \\?\r\n");
    EXPECT_TRUE(std::regex_match(content, kExpected)) << content;
}

// Writes one line while `block` keeps the file from being opened for appending, then one
// after `unblock`: the first is dropped without a word to the caller, the second lands.
void ExpectBlockedLineDropped(const std::function<void()>& block,
                              const std::function<void()>& unblock) {
    WriteLogLine(u"before");
    const std::wstring path = AgentLogPath();
    const std::string before = ReadFileBytes(path);
    ASSERT_FALSE(before.empty());

    block();
    WriteLogLine(u"dropped");
    unblock();
    EXPECT_EQ(ReadFileBytes(path), before);

    WriteLogLine(u"after");
    const std::string after = ReadFileBytes(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.substr(after.size() - 7), "after\r\n");
    EXPECT_EQ(after.find("dropped"), std::string::npos);
}

TEST(LogWinTest, FileLockedWithoutSharingDropsTheLine) {
    UniqueHandle lock;
    ExpectBlockedLineDropped(
        [&] {
            lock = UniqueHandle(CreateFileW(AgentLogPath().c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(lock.IsValid());
        },
        [&] { lock.Close(); });
}

TEST(LogWinTest, ReadOnlyFileDropsTheLine) {
    const std::wstring path = AgentLogPath();
    WriteLogLine(u"probe");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    UniqueHandle probe(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (probe.IsValid()) {
        // Wine keeps the read-only attribute as the Unix file's write bits, which do not bind
        // root: run as root, a read-only file still opens for writing. Windows refuses it.
        GTEST_SKIP() << "this Wine session does not enforce read-only files (running as root?)";
    }
    ExpectBlockedLineDropped(
        [&] { ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY)); },
        [&] { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); });
}

TEST(LogWinTest, FileDeletedWhileRunningIsMadeAgain) {
    WriteLogLine(u"one");
    ASSERT_TRUE(DeleteFileW(AgentLogPath().c_str()));
    WriteLogLine(u"two");
    const std::string content = ReadFileBytes(AgentLogPath());
    EXPECT_EQ(content.size(), 19u + 1 + 3 + 2);
}

}  // namespace
}  // namespace orbelune
