#include "tests/support/win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/file_win.h"
#include "common/text_win.h"
#include "config/settings.h"

namespace orbelune::testing {

std::string ReadFileBytes(const std::wstring& path) {
    return ReadWholeFile(path).value_or(std::string());
}

std::wstring BuildFolder() {
    return ToWide(ModuleDirectory());
}

ScratchFolder::ScratchFolder(std::wstring_view name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"orbelune-test-" + std::wstring(name) + L"-" +
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "cannot create the scratch folder";
}

ScratchFolder::~ScratchFolder() {
    // Programs started from here may need a moment to let go of their files.
    WaitUntil(
        [&] {
            std::error_code error;
            std::filesystem::remove_all(path_, error);
            return !error;
        },
        5000);
}

std::wstring ScratchFolder::CopyProgram(std::wstring_view name, std::wstring_view asName) const {
    const std::wstring to = path_ + L"\\" + std::wstring(asName.empty() ? name : asName);
    EXPECT_TRUE(CopyFileW((BuildFolder() + L"\\" + std::wstring(name)).c_str(), to.c_str(), FALSE))
        << "cannot copy a program, error " << GetLastError();
    return to;
}

bool ChildProcess::IsRunning() const {
    return process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    if (IsRunning()) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 5000);
    }
}

ChildProcess Launch(const std::wstring& program, const std::wstring& arguments,
                    const std::wstring& folder) {
    ChildProcess child;
    child.process = StartProgram(L"\"" + program + L"\" " + arguments, folder);
    EXPECT_TRUE(child.process.IsValid()) << "cannot start a program, error " << GetLastError();
    return child;
}

ChildProcess StartPeer(const std::wstring& arguments) {
    return Launch(BuildFolder() + L"\\orbelune_vcam_peer.exe", L"--print-every 0 " + arguments);
}

SettingsKey::SettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str());
}

SettingsKey::~SettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str());
}

void SettingsKey::Set(std::wstring_view name, DWORD type, const void* data, DWORD size) const {
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str(),
                              std::wstring(name).c_str(), type, data, size),
              ERROR_SUCCESS);
}

void SettingsKey::SetDword(std::wstring_view name, DWORD value) const {
    Set(name, REG_DWORD, &value, sizeof value);
}

void SettingsKey::SetString(std::wstring_view name, std::wstring_view value) const {
    const std::wstring text(value);
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace orbelune::testing
