// What the Windows tests under Wine share: started programs that end with the test, the settings
// key and the webcam consent store, scratch folders.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_win.h"
#include "common/handles_win.h"
#include "common/path_win.h"
#include "common/process_win.h"
#include "common/text_win.h"
#include "tests/support/wait_win.h"

namespace orbelune::testing {

inline std::string ReadFileBytes(const std::wstring& path) {  // empty when it cannot be read
    return ReadWholeFile(path).value_or(std::string());
}

inline std::wstring BuildFolder() {  // where the build puts every program, this one included
    return ToWide(ModuleDirectory());
}

class ScratchFolder {
  public:
    explicit ScratchFolder(std::wstring_view name) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp) + L"orbelune-test-" + std::wstring(name) + L"-" +
                std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "no scratch folder";
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        // Programs started from here may need a moment to let go of their files.
        WaitUntil(
            [&] {
                std::error_code error;
                std::filesystem::remove_all(path_, error);
                return !error;
            },
            5000);
    }
    [[nodiscard]] const std::wstring& Path() const { return path_; }
    std::wstring CopyProgram(std::wstring_view name, std::wstring_view asName = {}) const {
        const std::wstring to = path_ + L"\\" + std::wstring(asName.empty() ? name : asName);
        EXPECT_TRUE(
            CopyFileW((BuildFolder() + L"\\" + std::wstring(name)).c_str(), to.c_str(), FALSE))
            << "cannot copy a program, error " << GetLastError();
        return to;
    }

  private:
    std::wstring path_;
};

struct ChildProcess {
    UniqueHandle process;
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { Kill(); }
    [[nodiscard]] bool IsRunning() const {
        return process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
    }
    void Kill() {
        if (IsRunning()) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
        }
    }
};

inline ChildProcess Launch(const std::wstring& program, const std::wstring& arguments = {},
                           const std::wstring& folder = {}, HANDLE out = nullptr) {
    ChildProcess child;
    child.process = StartProgram(L"\"" + program + L"\" " + arguments, folder, out, out);
    EXPECT_TRUE(child.process.IsValid()) << "cannot start a program, error " << GetLastError();
    return child;
}

inline ChildProcess StartPeer(const std::wstring& arguments) {  // the peer simulator
    return Launch(BuildFolder() + L"\\orbelune_vcam_peer.exe", L"--print-every 0 " + arguments);
}

class SettingsKey {
  public:
    SettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kPath); }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    ~SettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kPath); }
    void Set(std::wstring_view name, DWORD type, const void* data, DWORD size) const {
        EXPECT_EQ(
            RegSetKeyValueW(HKEY_CURRENT_USER, kPath, std::wstring(name).c_str(), type, data, size),
            ERROR_SUCCESS);
    }
    void SetDword(std::wstring_view name, DWORD value) const {
        Set(name, REG_DWORD, &value, sizeof value);
    }
    void SetString(std::wstring_view name, std::wstring_view value) const {
        const std::wstring text(value);
        Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

  private:
    static constexpr wchar_t kPath[] = L"Software\\Orbelune";
};

struct ConsentStore {
    static constexpr wchar_t kWebcam[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore\\webc"
        L"am";
    ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, kWebcam); }
    ~ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, kWebcam); }
    // A value of an application's key: a package's name, or a desktop app's path, which is
    // kept under NonPackaged with '#' for '\\'.
    void Set(std::wstring app, const wchar_t* name, DWORD type, const void* data) const {
        if (app.find(L'\\') != std::wstring::npos) {
            std::replace(app.begin(), app.end(), L'\\', L'#');
            app = L"NonPackaged\\" + app;
        }
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kWebcam) + L"\\" + app).c_str(),
                                  name, type, data, type == REG_DWORD ? 4 : 8),
                  ERROR_SUCCESS);
    }
    // In use since `start`: a start time and, unless `stop` is given, no stop time.
    void App(const std::wstring& app, std::uint64_t start, std::uint64_t stop = 0) const {
        Set(app, L"LastUsedTimeStart", REG_QWORD, &start);
        if (stop != 0) {
            Set(app, L"LastUsedTimeStop", REG_QWORD, &stop);
        }
    }
};

}  // namespace orbelune::testing
