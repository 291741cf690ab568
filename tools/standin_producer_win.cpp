// A stand-in for the frame producer, for tests, benchmarks and the demo. Installed beside the
// agent as orbelune_windows_retouch_vcam_producer.exe, it appends what it was started with to
// "standin-producer.log" in its own folder and runs until it is terminated. Each start record
// ends with "tick=" and the GetTickCount64 value taken first thing in wmain, so a benchmark can
// tell when the process began to run.
//
// Its behaviour is chosen by the first line of "standin-producer.mode" in its folder, read at
// each start, since the agent's fixed command line leaves no room for options:
//   (no file, or "run")  run until terminated
//   "exit"               exit at once with code 3
//   "child"              start a second copy of itself with the single argument --child, which
//                        records its process id and runs until terminated
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::wstring OwnFolder() {
    wchar_t path[32768] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// Appends a record in one write, so that records of several copies never interleave.
void Record(const std::wstring& folder, const std::string& text) {
    HANDLE file = CreateFileW((folder + L"\\standin-producer.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Mode(const std::wstring& folder) {
    HANDLE file = CreateFileW((folder + L"\\standin-producer.mode").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "run";
    }
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    std::string mode(buffer, read);
    return mode.substr(0, mode.find_first_of("\r\n "));
}

[[noreturn]] void RunUntilTerminated() {
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace

int wmain() {
    const ULONGLONG startTick = GetTickCount64();
    const std::wstring folder = OwnFolder();
    const wchar_t* raw = GetCommandLineW();
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(raw, &argc);
    const std::string pid = std::to_string(GetCurrentProcessId());

    if (argc == 2 && std::wstring_view(argv[1]) == L"--child") {
        Record(folder, "child pid=" + pid + "\r\n");
        RunUntilTerminated();
    }

    std::string record = "start pid=" + pid + "\r\nraw=" + Utf8(raw) + "\r\n";
    for (int i = 0; i < argc; ++i) {
        record += "argv[" + std::to_string(i) + "]=" + Utf8(argv[i]) + "\r\n";
    }
    LocalFree(argv);
    record += "tick=" + std::to_string(startTick) + "\r\n";
    Record(folder, record);

    const std::string mode = Mode(folder);
    if (mode == "exit") {
        return 3;
    }
    if (mode == "child") {
        wchar_t self[32768] = {};
        GetModuleFileNameW(nullptr, self, 32768);
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --child";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
    RunUntilTerminated();
}
