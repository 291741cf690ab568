// What the Windows tests under Wine share: started programs that end with the test, the agent's
// log, the settings key, scratch folders.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/handles_win.h"
#include "common/process_win.h"

namespace orbelune::testing {

std::string ReadFileBytes(const std::wstring& path);  // empty when it cannot be read

std::wstring BuildFolder();  // where the build puts every program, this one included

// A new empty folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::wstring_view name);
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();
    [[nodiscard]] const std::wstring& Path() const { return path_; }
    // Copies a program of the build here, under its own name or `asName`; gives its path.
    std::wstring CopyProgram(std::wstring_view name, std::wstring_view asName = {}) const;

  private:
    std::wstring path_;
};

// A started program, terminated at the end if it still runs.
struct ChildProcess {
    UniqueHandle process;
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { Kill(); }
    [[nodiscard]] bool IsRunning() const;
    void Kill();
};

ChildProcess Launch(const std::wstring& program, const std::wstring& arguments = {},
                    const std::wstring& folder = {});
ChildProcess StartPeer(const std::wstring& arguments);  // the peer simulator

// HKEY_CURRENT_USER\Software\Orbelune, removed at the start and at the end.
class SettingsKey {
  public:
    SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    ~SettingsKey();
    void Set(std::wstring_view name, DWORD type, const void* data, DWORD size) const;
    void SetDword(std::wstring_view name, DWORD value) const;
    void SetString(std::wstring_view name, std::wstring_view value) const;
};

}  // namespace orbelune::testing
