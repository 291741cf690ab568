// orbelune_vcam_ctl.exe run as a person would run it: its output, its exit codes and what it
// leaves in the registry. Its status of a running agent is shown in agent_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

// A value under HKEY_CURRENT_USER as stored: "type:data", or "none" when it is missing.
std::string Stored(const wchar_t* key, const wchar_t* name) {
    DWORD type = 0;
    wchar_t data[2048] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS) {
        return "none";
    }
    DWORD number = 0;
    std::memcpy(&number, data, sizeof number);
    const std::wstring text = data;
    return type == REG_DWORD ? "dword:" + std::to_string(number)
                             : "text:" + std::string(text.begin(), text.end());
}

TEST(CtlTest, CommandsAndWhatTheyStore) {
    const SettingsKey settings;
    constexpr wchar_t kSettings[] = L"Software\\Orbelune";
    constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, L"OrbeluneCameraAgent");
    const std::wstring folder = BuildFolder();
    const std::string agent =
        "text:\"" + std::string(folder.begin(), folder.end()) + "\\orbelune_vcam_agent.exe\"";
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* output;          // standard output on success, standard error otherwise
        const wchar_t *key, *value;  // where the command stores, if anywhere
        std::string stored;
    } kCases[] = {
        {L"--help", 0, "Usage: orbelune_vcam_ctl COMMAND", nullptr, nullptr, ""},
        {L"start", 2, "orbelune_vcam_ctl: unknown command 'start'", nullptr, nullptr, ""},
        {L"set cameraindex -1", 0, "CameraIndex = -1\n", kSettings, L"CameraIndex",
         "dword:4294967295"},
        {L"set Enabled 2", 2, "Enabled takes 0 or 1, not '2'", kSettings, L"Enabled", "none"},
        {L"set Provider \"a b\"", 0, "Provider = \"a b\"\n", kSettings, L"Provider", "text:a b"},
        {L"unset provider", 0, "Provider removed", kSettings, L"Provider", "none"},
        {L"unset Provider", 0, "Provider was not set", kSettings, L"Provider", "none"},
        {L"install", 0, "installed: \"", kRun, L"OrbeluneCameraAgent", agent},
        {L"uninstall", 0, "uninstalled", kRun, L"OrbeluneCameraAgent", "none"},
        {L"uninstall", 0, "not installed; nothing to remove", kRun, L"OrbeluneCameraAgent", "none"},
    };
    for (const auto& c : kCases) {
        const CtlResult result = Ctl(c.arguments);
        const std::string& output = c.exitCode == 0 ? result.out : result.err;
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_NE(output.find(c.output), std::string::npos) << result.out << result.err;
        EXPECT_EQ((c.exitCode == 0 ? result.err : result.out), "");
        if (c.key != nullptr) {
            EXPECT_EQ(Stored(c.key, c.value), c.stored) << c.output;
        }
    }
}

}  // namespace
}  // namespace orbelune
