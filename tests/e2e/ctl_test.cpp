// orbelune_vcam_ctl.exe run as a person would run it: its output, its exit codes and what it
// leaves in the registry, next to a running agent, peer simulator and stand-in producer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr wchar_t kSettingsKeyPath[] = L"Software\\Orbelune";
constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"OrbeluneCameraAgent";

// The output's line ends are CR LF, as text-mode output is on Windows; the checks below read
// them as LF.
std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

RunResult Ctl(const std::wstring& arguments) {
    RunResult result =
        RunProgram(L"\"" + BuildFolder() + L"\\orbelune_vcam_ctl.exe\" " + arguments);
    result.out = WithoutCarriageReturns(result.out);
    result.err = WithoutCarriageReturns(result.err);
    return result;
}

std::string Narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

// A registry value as it is stored: its type (REG_NONE when it is missing) and its data.
struct StoredValue {
    DWORD type = REG_NONE;
    DWORD dword = 0;
    std::wstring text;
};

StoredValue ReadValue(const wchar_t* key, const wchar_t* name) {
    StoredValue value;
    BYTE data[4096] = {};
    DWORD size = sizeof data - 2;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, data,
                     &size) != ERROR_SUCCESS) {
        value.type = REG_NONE;
        return value;
    }
    if (value.type == REG_DWORD) {
        memcpy(&value.dword, data, sizeof value.dword);
    } else if (value.type == REG_SZ) {
        value.text = reinterpret_cast<const wchar_t*>(data);
    }
    return value;
}

TEST(CtlTest, HelpAndUsageErrors) {
    static const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* out;  // expected in standard output
        const char* err;  // expected in standard error
    } kCases[] = {
        {L"--help", 0, "Usage: orbelune_vcam_ctl COMMAND", ""},
        {L"-h", 0, "Exit codes: 0 success, 1 failure, 2 usage error", ""},
        {L"/?", 0, "status [--json]", ""},
        {L"set Provider --help", 0, "Usage:", ""},
        {L"", 2, "", "orbelune_vcam_ctl: no command given (see --help)"},
        {L"start", 2, "", "unknown command 'start'"},
        {L"status --xml", 2, "", "unexpected argument '--xml' after status"},
        {L"set Provider", 2, "", "set needs a NAME and a VALUE"},
        {L"unset", 2, "", "unset needs a NAME"},
        {L"install now", 2, "", "unexpected argument 'now'"},
    };
    for (const auto& c : kCases) {
        const RunResult result = Ctl(c.arguments);
        SCOPED_TRACE(Narrow(c.arguments));
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        if (c.exitCode == 0) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_EQ(result.out, "");
        }
    }
}

TEST(CtlTest, SetAndUnsetWriteWhatTheAgentReads) {
    const SettingsKey key;
    const std::wstring tooLong(1024, L'x');
    const std::wstring longest(1023, L'y');
    const struct {
        std::wstring arguments;
        DWORD exitCode;
        const char* message;  // in standard output on success, standard error otherwise
        const wchar_t* value;
        DWORD type;  // REG_NONE: the value must be missing afterwards
        DWORD dword;
        std::wstring text;
    } kCases[] = {
        {L"set CameraIndex 3", 0, "CameraIndex = 3", L"CameraIndex", REG_DWORD, 3, L""},
        {L"set cameraindex -1", 0, "CameraIndex = -1", L"CameraIndex", REG_DWORD, 0xFFFFFFFF, L""},
        {L"set CameraIndex -2147483648", 0, "", L"CameraIndex", REG_DWORD, 0x80000000, L""},
        // Refused values leave the stored one alone.
        {L"set CameraIndex 2147483648", 2, "CameraIndex takes a whole number from -2147483648",
         L"CameraIndex", REG_DWORD, 0x80000000, L""},
        {L"set Enabled 0", 0, "Enabled = 0", L"Enabled", REG_DWORD, 0, L""},
        {L"set Enabled 2", 2, "Enabled takes 0 or 1, not '2'", L"Enabled", REG_DWORD, 0, L""},
        {L"set IdleStopMs 4294967295", 0, "", L"IdleStopMs", REG_DWORD, 0xFFFFFFFF, L""},
        {L"set IdleStopMs 4294967296", 2, "IdleStopMs takes", L"IdleStopMs", REG_DWORD, 0xFFFFFFFF,
         L""},
        {L"set Provider \"\"", 0, "Provider = \"\"", L"Provider", REG_SZ, 0, L""},
        {L"set Provider \"a b\"", 0, "Provider = \"a b\"", L"Provider", REG_SZ, 0, L"a b"},
        {L"set ProducerExe C:\\p\\x.exe", 0, "", L"ProducerExe", REG_SZ, 0, L"C:\\p\\x.exe"},
        {L"set RepoRoot " + longest, 0, "", L"RepoRoot", REG_SZ, 0, longest},
        {L"set RepoRoot " + tooLong, 2, "RepoRoot is too long (1024 characters)", L"RepoRoot",
         REG_SZ, 0, longest},
        {L"set Bogus 1", 2, "unknown setting 'Bogus'", L"Bogus", REG_NONE, 0, L""},
        {L"unset provider", 0, "Provider removed", L"Provider", REG_NONE, 0, L""},
        {L"unset Provider", 0, "Provider was not set", L"Provider", REG_NONE, 0, L""},
        {L"unset Bogus", 2, "unknown setting 'Bogus'", L"Bogus", REG_NONE, 0, L""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.arguments.substr(0, 40)));
        const RunResult result = Ctl(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        const std::string& message = c.exitCode == 0 ? result.out : result.err;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        const StoredValue stored = ReadValue(kSettingsKeyPath, c.value);
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.dword, c.dword);
        EXPECT_EQ(stored.text, c.text);
    }
}

TEST(CtlTest, InstallAndUninstallTheLogonEntry) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValue);
    const std::wstring agent = L"\"" + BuildFolder() + L"\\orbelune_vcam_agent.exe\"";
    static const struct {
        const wchar_t* arguments;
        const char* out;
        bool installedAfter;
    } kCases[] = {
        {L"uninstall", "not installed; nothing to remove", false},
        {L"install", "installed: \"", true},
        {L"install", "installed: \"", true},
        {L"status", "logon entry: installed, \"", true},
        {L"uninstall", "uninstalled", false},
        {L"status", "logon entry: not installed", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.arguments));
        const RunResult result = Ctl(c.arguments);
        EXPECT_EQ(result.exitCode, 0u) << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        const StoredValue stored = ReadValue(kRunKeyPath, kRunValue);
        if (c.installedAfter) {
            EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(stored.text, agent);
        } else {
            EXPECT_EQ(stored.type, static_cast<DWORD>(REG_NONE));
        }
    }
}

TEST(CtlTest, InstallRefusesWithoutAnAgentBesideIt) {
    const ScratchFolder folder(L"ctl-alone");
    folder.CopyProgram(L"orbelune_vcam_ctl.exe");
    const RunResult result =
        RunProgram(L"\"" + folder.Path() + L"\\orbelune_vcam_ctl.exe\" install");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.err.find("cannot find the agent at"), std::string::npos) << result.err;
    EXPECT_EQ(ReadValue(kRunKeyPath, kRunValue).type, static_cast<DWORD>(REG_NONE));
}

TEST(CtlTest, StatusWithNothingRunning) {
    const SettingsKey key;
    key.SetDword(L"IdleStopMs", 1500);
    key.SetString(L"ProducerExe", L"");  // an empty string means the default
    const RunResult text = Ctl(L"status");
    EXPECT_EQ(text.exitCode, 0u);
    static const char* const kExpected[] = {
        "  CameraIndex  0  (default)\n",
        "  IdleStopMs   1500  (registry)\n",
        "orbelune_windows_retouch_vcam_producer.exe  (default)\n",
        "agent: not running in this session\n",
        "producer (orbelune_windows_retouch_vcam_producer.exe): not running\n",
        "control block: no section under Global\\ or Local\\OrbeluneVcamControl.v2\n",
        "capabilities block: no section\nconsumers block: no section\n",
        "\\Orbelune\\Logs\\vcam-agent.log",
    };
    for (const char* expected : kExpected) {
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << " in\n" << text.out;
    }
    const RunResult json = Ctl(L"status --json");
    EXPECT_EQ(json.exitCode, 0u);
    EXPECT_EQ(
        json.out.rfind("{\"settings\":{\"CameraIndex\":{\"value\":0,\"source\":\"default\"}", 0),
        0u)
        << json.out;
    EXPECT_NE(json.out.find("\"IdleStopMs\":{\"value\":1500,\"source\":\"registry\"}"),
              std::string::npos);
    EXPECT_NE(json.out.find("\"agentRunning\":false"), std::string::npos);
    EXPECT_NE(json.out.find("\"controlBlock\":{\"section\":null,\"mapped\":false}"),
              std::string::npos);
}

TEST(CtlTest, StatusOfARunningAgentWithDemand) {
    const SettingsKey key;
    const ScratchFolder folder(L"ctl-status");
    folder.CopyProgram(L"orbelune_vcam_agent.exe");
    folder.CopyProgram(L"orbelune_windows_retouch_vcam_producer.exe");
    ASSERT_EQ(Ctl(L"set Provider cuda").exitCode, 0u);
    ASSERT_EQ(Ctl(L"set CameraIndex 2").exitCode, 0u);

    const LogCursor log;
    ChildProcess agent =
        Launch(L"\"" + folder.Path() + L"\\orbelune_vcam_agent.exe\"", folder.Path());
    ChildProcess peer = Launch(L"\"" + BuildFolder() +
                               L"\\orbelune_vcam_peer.exe\" --print-every 0 --demand 60 "
                               L"--heartbeat 60");
    ASSERT_TRUE(log.WaitFor("producer started (camera-index=2 provider=cuda)\r\n", 20000))
        << log.NewText();
    // The camera index is written by the pass after the section appeared; the consumers block
    // at the next refresh once it could be opened.
    ASSERT_TRUE(WaitUntil(
        [] {
            const std::string out = Ctl(L"status").out;
            return out.find("cameraIndex=2\n") != std::string::npos &&
                   out.find("  count 0, updated ") != std::string::npos;
        },
        10000));

    const RunResult text = Ctl(L"status");
    EXPECT_EQ(text.exitCode, 0u);
    static const char* const kExpected[] = {
        "  Provider     cuda  (registry)\n",
        "  CameraIndex  2  (registry)\n",
        "agent: running in this session\n",
        "producer (orbelune_windows_retouch_vcam_producer.exe): running, process id ",
        "control section Local\\OrbeluneVcamControl.v2\n",
        "control block: magic=0x4F425643 version=2 (valid)\n",
        "  demand=yes consumer present=yes\n",
        // Wine has no camera: the fallback format.
        "capabilities block (Local\\OrbeluneVcamCapabilities.v1): valid, magic 0x4F425650 "
        "version 1\n  cameraIndex 2, count 1, sequence ",
        "  [0] 1280x720@30/1\nconsumers block (Local\\OrbeluneVcamConsumers.v1): valid, magic "
        "0x4F42434F version 1\n  count 0, updated ",
        "producer started (camera-index=2 provider=cuda)\n",
    };
    for (const char* expected : kExpected) {
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << " in\n" << text.out;
    }
    const RunResult json = Ctl(L"status --json");
    static const char* const kExpectedJson[] = {
        "\"Provider\":{\"value\":\"cuda\",\"source\":\"registry\"}",
        "\"agentRunning\":true",
        "\"producer\":{\"image\":\"orbelune_windows_retouch_vcam_producer.exe\",\"running\":true,"
        "\"processIds\":[",
        "\"section\":\"Local\\\\OrbeluneVcamControl.v2\"",
        "\"valid\":true,\"cameraIndex\":2,",
        "\"demand\":true,\"consumerPresent\":true}",
        "\"capabilitiesBlock\":{\"section\":\"Local\\\\OrbeluneVcamCapabilities.v1\",\"mapped\":"
        "true,\"magic\":1329747536,\"version\":1,\"valid\":true,\"cameraIndex\":2,\"count\":1,"
        "\"entries\":[{\"width\":1280,\"height\":720,\"frameRateNumerator\":30,"
        "\"frameRateDenominator\":1}],",
        "\"consumersBlock\":{\"section\":\"Local\\\\OrbeluneVcamConsumers.v1\",\"mapped\":true,"
        "\"magic\":1329742671,\"version\":1,\"valid\":true,\"count\":0,\"updatedTick\":",
        "\"slots\":[],",
        " producer started (camera-index=2 provider=cuda)\"]}}",
    };
    for (const char* expected : kExpectedJson) {
        EXPECT_NE(json.out.find(expected), std::string::npos) << expected << " in\n" << json.out;
    }

    peer.Kill();
    agent.Kill();
    EXPECT_TRUE(WaitUntil(
        [] { return CountProcesses(L"orbelune_windows_retouch_vcam_producer.exe") == 0; }, 5000));
    EXPECT_NE(Ctl(L"status").out.find("agent: not running in this session\n"), std::string::npos);
}

}  // namespace
}  // namespace orbelune
