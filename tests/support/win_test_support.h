// Helpers for the Windows tests that run under Wine against the real system: processes with
// deadlines, the log file, the settings key and scratch folders.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles_win.h"

namespace orbelune::testing {

// Polls `done` every 20 ms until it holds or `timeoutMs` has passed; tells which.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The whole content of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// The log file the agent writes in this prefix.
std::wstring AgentLogPath();

// Reads what has been appended to the log since the cursor was made.
class LogCursor {
  public:
    LogCursor();
    [[nodiscard]] std::string NewText() const;
    // Waits until the new text holds `needle`.
    [[nodiscard]] bool WaitFor(std::string_view needle, DWORD timeoutMs) const;

  private:
    size_t start_ = 0;
};

// The folder of the running test program, where the build puts every program.
std::wstring BuildFolder();

// A new empty folder under the temporary folder, removed with its files by the destructor.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::wstring_view name);
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();
    [[nodiscard]] const std::wstring& Path() const { return path_; }
    // Copies a program of the build into this folder, optionally under another name.
    void CopyProgram(std::wstring_view name, std::wstring_view asName = {}) const;

  private:
    std::wstring path_;
};

// A started process; terminated by the destructor if still running.
struct ChildProcess {
    UniqueHandle process;
    DWORD processId = 0;
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess();
    [[nodiscard]] bool IsRunning() const;
    // Waits for the exit; the exit code, or nothing on timeout.
    [[nodiscard]] bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    void Kill();
};

// Starts `commandLine` (the program quoted as its first argument) in `currentFolder`. A quiet
// program gets NUL for its standard handles, so that its output stays out of the test's.
ChildProcess Launch(const std::wstring& commandLine, const std::wstring& currentFolder = {},
                    bool quiet = false);

// What a program wrote and how it ended.
struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;  // unchanged when the program did not end in time
    std::string out;              // standard output
    std::string err;              // standard error
};

// Runs `commandLine` to its end (at most `timeoutMs`, then it is terminated) with its standard
// output and error captured.
RunResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// HKEY_CURRENT_USER\Software\Orbelune, removed at construction and again at destruction so
// that every test starts from "no key at all".
class SettingsKey {
  public:
    SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    ~SettingsKey();
    void SetDword(std::wstring_view name, DWORD value) const;
    void SetString(std::wstring_view name, std::wstring_view value) const;
    void SetRaw(std::wstring_view name, DWORD type, const void* data, DWORD size) const;
    void Delete(std::wstring_view name) const;
};

// The messages of log text: each line without its timestamp and line end.
std::vector<std::string> LogMessages(const std::string& text);

// The handles a process holds. GetProcessHandleCount is the way on Windows; Wine 8 answers it
// with 0, so then the system's handle table (NtQuerySystemInformation with
// SystemExtendedHandleInformation), which Wine does keep, is counted instead.
DWORD HandleCountOf(HANDLE process, DWORD processId);

// The number of processes whose image name is `exeName` (case-insensitive).
int CountProcesses(std::wstring_view exeName);

}  // namespace orbelune::testing
