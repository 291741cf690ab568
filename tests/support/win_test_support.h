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

// The whole content of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// The folder of the running test program, where the build puts every program.
std::wstring BuildFolder();

// Reads what has been appended to the agent's log since the cursor was made.
class LogCursor {
  public:
    LogCursor();
    [[nodiscard]] std::string NewText() const;
    [[nodiscard]] bool WaitFor(std::string_view needle, DWORD timeoutMs) const;
    // The new lines' messages, without their timestamps and line ends.
    [[nodiscard]] std::vector<std::string> NewMessages() const;

  private:
    size_t start_ = 0;
};

// A new empty folder under the temporary folder, removed with its files by the destructor.
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

// A started program, terminated by the destructor if it still runs.
struct ChildProcess {
    UniqueHandle process;
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { Kill(); }
    [[nodiscard]] bool IsRunning() const;
    void Kill();
};

// Starts `program` (a full path) with `arguments`, in `folder` if given.
ChildProcess Launch(const std::wstring& program, const std::wstring& arguments = {},
                    const std::wstring& folder = {});

// The peer simulator of the build with `arguments`.
ChildProcess StartPeer(const std::wstring& arguments);

// orbelune_vcam_ctl.exe of the build run to its end with `arguments`: its exit code and what it
// wrote, with LF line ends (text-mode output on Windows writes CR LF).
struct CtlResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};
CtlResult Ctl(const std::wstring& arguments);

// HKEY_CURRENT_USER\Software\Orbelune, removed at construction and at destruction, so that
// every test starts from "no key at all".
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

// The handles a process holds. GetProcessHandleCount is the way on Windows; Wine 8 answers it
// with 0, so then the system's handle table (NtQuerySystemInformation with
// SystemExtendedHandleInformation), which Wine does keep, is counted instead.
DWORD HandleCountOf(HANDLE process, DWORD processId);

}  // namespace orbelune::testing
