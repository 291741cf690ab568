#include "tests/support/win_test_support.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "common/file_win.h"
#include "common/text_win.h"
#include "config/settings.h"
#include "log/log.h"

namespace orbelune::testing {

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(20);
    }
}

std::string ReadFileBytes(const std::wstring& path) {
    return ReadWholeFile(path).value_or(std::string());
}

std::wstring AgentLogPath() {
    return ToWide(LogFilePath(LogBaseFolder().value()));
}

LogCursor::LogCursor() : start_(ReadFileBytes(AgentLogPath()).size()) {}

std::string LogCursor::NewText() const {
    const std::string all = ReadFileBytes(AgentLogPath());
    return all.size() > start_ ? all.substr(start_) : std::string();
}

bool LogCursor::WaitFor(std::string_view needle, DWORD timeoutMs) const {
    return WaitUntil([&] { return NewText().find(needle) != std::string::npos; }, timeoutMs);
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
    // Processes started from here may need a moment to let go of their files.
    WaitUntil(
        [&] {
            WIN32_FIND_DATAW found = {};
            HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    const std::wstring name = found.cFileName;
                    if (name != L"." && name != L"..") {
                        const std::wstring file = path_ + L"\\" + name;
                        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                        DeleteFileW(file.c_str());
                    }
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            return RemoveDirectoryW(path_.c_str()) != FALSE;
        },
        5000);
}

void ScratchFolder::CopyProgram(std::wstring_view name, std::wstring_view asName) const {
    const std::wstring from = BuildFolder() + L"\\" + std::wstring(name);
    const std::wstring to = path_ + L"\\" + std::wstring(asName.empty() ? name : asName);
    ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE))
        << "cannot copy " << ToU16(from).size() << "-unit path, error " << GetLastError();
}

ChildProcess::~ChildProcess() {
    Kill();
}

bool ChildProcess::IsRunning() const {
    return process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    if (exitCode != nullptr) {
        GetExitCodeProcess(process.Get(), exitCode);
    }
    return true;
}

void ChildProcess::Kill() {
    if (IsRunning()) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 5000);
    }
}

ChildProcess Launch(const std::wstring& commandLine, const std::wstring& currentFolder,
                    bool quiet) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    UniqueHandle nul;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (quiet) {
        nul = UniqueHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
    }
    std::wstring buffer = commandLine;
    PROCESS_INFORMATION info = {};
    ChildProcess child;
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, quiet ? TRUE : FALSE,
                        quiet ? CREATE_NO_WINDOW : 0, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW failed with error " << GetLastError();
        return child;
    }
    CloseHandle(info.hThread);
    child.process = UniqueHandle(info.hProcess);
    child.processId = info.dwProcessId;
    return child;
}

std::vector<std::string> LogMessages(const std::string& text) {
    std::vector<std::string> messages;
    size_t begin = 0;
    for (size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        const std::string line = text.substr(begin, end - begin);
        messages.push_back(line.size() >= 20 ? line.substr(20) : line);
    }
    return messages;
}

DWORD HandleCountOf(HANDLE process, DWORD processId) {
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0) {
        return count;
    }
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT creatorBackTraceIndex;
        USHORT objectTypeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    constexpr auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
    std::vector<std::byte> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status =
            NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                     static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<NTSTATUS>(0xC0000004u)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) {
            return 0;
        }
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        count += table->entries[i].processId == processId;
    }
    return count;
}

namespace {

// Moves what is waiting in `pipe` into `text`, without blocking.
void Drain(HANDLE pipe, std::string& text) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char chunk[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) || read == 0) {
            return;
        }
        text.append(chunk, read);
    }
}

}  // namespace

RunResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs) {
    RunResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inheritable, 0) ||
        !CreatePipe(&errRead, &errWrite, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed with error " << GetLastError();
        return result;
    }
    UniqueHandle outReader(outRead), outWriter(outWrite), errReader(errRead), errWriter(errWrite);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring buffer = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW failed with error " << GetLastError();
        return result;
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    outWriter.Close();  // only the child holds the write ends now
    errWriter.Close();

    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        Drain(outRead, result.out);
        Drain(errRead, result.err);
        if (WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0) {
            break;
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
            ADD_FAILURE() << "the program did not end in time";
            return result;
        }
    }
    Drain(outRead, result.out);
    Drain(errRead, result.err);
    GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

namespace {

const std::wstring kKeyPath = ToWide(kSettingsKey);

}  // namespace

SettingsKey::SettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath.c_str());
}

SettingsKey::~SettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath.c_str());
}

void SettingsKey::SetRaw(std::wstring_view name, DWORD type, const void* data, DWORD size) const {
    const LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, kKeyPath.c_str(),
                                           std::wstring(name).c_str(), type, data, size);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

void SettingsKey::SetDword(std::wstring_view name, DWORD value) const {
    SetRaw(name, REG_DWORD, &value, sizeof value);
}

void SettingsKey::SetString(std::wstring_view name, std::wstring_view value) const {
    const std::wstring text(value);
    SetRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SettingsKey::Delete(std::wstring_view name) const {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKeyPath.c_str(), std::wstring(name).c_str());
}

int CountProcesses(std::wstring_view exeName) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) {
        return -1;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, std::wstring(exeName).c_str()) == 0) {
            ++count;
        }
    }
    return count;
}

}  // namespace orbelune::testing
