#include "common/process_win.h"

#include <tlhelp32.h>

#include <cwchar>

#include "common/text.h"
#include "common/text_win.h"

namespace orbelune {

static_assert(sizeof(PROCESSENTRY32W) == 568);

std::vector<RunningProcess> RunningProcesses() {
    std::vector<RunningProcess> processes;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) {
        return processes;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        processes.push_back({entry.th32ProcessID,
                             std::wstring(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))});
    }
    return processes;
}

std::vector<DWORD> ProcessIdsOf(std::wstring_view image) {
    const std::u16string wanted = ToLowerUnits(ToU16(image));
    std::vector<DWORD> ids;
    for (const RunningProcess& process : RunningProcesses()) {
        if (ToLowerUnits(ToU16(process.image)) == wanted) {
            ids.push_back(process.id);
        }
    }
    return ids;
}

UniqueHandle StartProgram(std::wstring commandLine, const std::wstring& folder, HANDLE out,
                          HANDLE err) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = out != nullptr ? out : nul.Get();
    startup.hStdError = err != nullptr ? err : nul.Get();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return {};
    }
    const UniqueHandle thread(info.hThread);
    return UniqueHandle(info.hProcess);
}

}  // namespace orbelune
