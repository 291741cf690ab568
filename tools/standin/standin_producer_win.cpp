// A stand-in for the frame producer, for tests, benchmarks and the demo, installed beside the
// agent under the producer's name. It appends what it was started with to "standin-producer.log"
// in its folder, ending with "tick=" and GetTickCount64 as its first act (for the benchmarks).
// The first line of "standin-producer.mode" beside it, read at each start, chooses what it does:
//   (no file, or "run")  run until terminated
//   "exit"               exit at once with code 3
//   "child"              start a copy of itself with --child, which records its id and runs
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/file_win.h"
#include "common/handles_win.h"
#include "common/path_win.h"
#include "common/process_win.h"
#include "common/text.h"
#include "common/text_win.h"
#include "log/log_win.h"

namespace {

using namespace orbelune;

// Appends a record in one write, so that records of several copies never interleave.
void Record(const std::wstring& folder, const std::string& text) {
    const UniqueHandle file = OpenLogForAppend(ToU16(folder + L"\\standin-producer.log"), true);
    DWORD written = 0;
    if (file.IsValid()) {
        WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

}  // namespace

int wmain() {
    const ULONGLONG startTick = GetTickCount64();
    const std::wstring folder = ToWide(ModuleDirectory());
    const wchar_t* raw = GetCommandLineW();
    int argc = 0;
    const UniqueLocalMemory<LPWSTR> argv(CommandLineToArgvW(raw, &argc));
    const std::string pid = std::to_string(GetCurrentProcessId());

    if (argc == 2 && std::wstring_view(argv.get()[1]) == L"--child") {
        Record(folder, "child pid=" + pid + "\r\n");
    } else {
        std::string record = "start pid=" + pid + "\r\nraw=" + ToUtf8(raw) + "\r\n";
        for (int i = 0; i < argc; ++i) {
            record += "argv[" + std::to_string(i) + "]=" + ToUtf8(argv.get()[i]) + "\r\n";
        }
        Record(folder, record + "tick=" + std::to_string(startTick) + "\r\n");
        std::string mode = ReadWholeFile(folder + L"\\standin-producer.mode").value_or("run");
        mode = mode.substr(0, mode.find_first_of("\r\n "));
        if (mode == "exit") {
            return 3;
        }
        if (mode == "child") {
            // Left running: it ends when it is terminated, as the producer's own children are.
            static_cast<void>(StartProgram(L"\"" + ToWide(ModulePath()) + L"\" --child").Take());
        }
    }
    for (;;) {  // until terminated
        Sleep(INFINITE);
    }
}
