// The whole agent started under Wine: first line, single-instance guard, arguments ignored.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

TEST(StartupTest, SecondAgentInTheSessionExitsWithZero) {
    SettingsKey settings;
    ScratchFolder folder(L"startup");
    folder.CopyProgram(L"orbelune_vcam_agent.exe");
    const std::wstring agent = L"\"" + folder.Path() + L"\\orbelune_vcam_agent.exe\"";

    LogCursor log;
    ChildProcess first = Launch(agent + L" --ignored \"with space\" /q", folder.Path());
    ASSERT_TRUE(log.WaitFor("agent starting\r\n", 30000)) << log.NewText();
    static const std::regex kFirstLine(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d agent starting\r\n");
    // The first line of the run; whatever the first pass logs may follow it.
    EXPECT_TRUE(
        std::regex_search(log.NewText(), kFirstLine, std::regex_constants::match_continuous))
        << log.NewText();

    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\OrbeluneAgentSingleton");
    EXPECT_NE(mutex, nullptr) << "the first agent holds the session mutex";
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }

    for (const wchar_t* arguments : {L"", L" --help", L" -x 1 2 3"}) {
        const LogCursor second;
        ChildProcess duplicate = Launch(agent + arguments, folder.Path());
        DWORD exitCode = 1;
        ASSERT_TRUE(duplicate.WaitForExit(30000, &exitCode));
        EXPECT_EQ(exitCode, 0u);
        EXPECT_TRUE(std::regex_match(
            second.NewText(),
            std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d agent already running in this "
                       "session; exiting\r\n")))
            << second.NewText();
    }
    EXPECT_TRUE(first.IsRunning());
    first.Kill();
}

}  // namespace
}  // namespace orbelune
