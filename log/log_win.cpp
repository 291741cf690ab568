#include "log/log_win.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <time.h>

#include <array>
#include <cstring>
#include <optional>

#include "common/handles_win.h"
#include "common/path.h"
#include "common/text_win.h"
#include "log/log_lines.h"

namespace orbelune {

// The lookup's own result says whether it succeeded; the path may then be empty.
std::optional<std::u16string> KnownProgramDataFolder() {
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
    const UniqueCoTaskMemory<wchar_t> folder(path);
    if (SUCCEEDED(hr) && folder) {
        return ToU16(folder.get());
    }
    return std::nullopt;
}

std::optional<std::u16string> EnvironmentProgramDataFolder() {
    wchar_t buffer[260] = {};
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, 260);
    // 0: not set. 260 or more: the variable does not fit and the buffer holds nothing; such a
    // value is no usable folder, so it counts as not set.
    if (length == 0 || length >= 260) {
        return std::nullopt;
    }
    return ToU16(buffer);
}

namespace {
using GetTempPath2WFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
}  // namespace

std::optional<std::u16string> TemporaryFolder() {
    // The longest folder the calls give is MAX_PATH units with its separator, and its NUL.
    std::array<wchar_t, MAX_PATH + 1> buffer = {};
    const DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = 0;
    // GetTempPath2W exists from Windows 11 and recent Windows 10 builds only.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "GetTempPath2W") : nullptr;
    if (proc != nullptr) {
        GetTempPath2WFunction getTempPath2 = nullptr;
        static_assert(sizeof getTempPath2 == sizeof proc);
        std::memcpy(&getTempPath2, &proc, sizeof proc);
        length = getTempPath2(size, buffer.data());
    } else {
        length = GetTempPathW(size, buffer.data());
    }
    // A length of the size or more is the size the folder would need: it was not written.
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(buffer.data());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    return ToU16(std::wstring_view(buffer.data(), length));
}

namespace {

// Creates `folder` and every missing parent, each with kLogFolderSecurity; folders that exist
// keep theirs. Failures are left to the open that follows.
void CreateFolders(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(ToWide(kLogFolderSecurity).c_str(),
                                                         SDDL_REVISION_1, &descriptor, nullptr);
    const UniqueLocalMemory<void> descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/') {
            if (folder[i - 1] == L':' || folder[i - 1] == L'\\' || folder[i - 1] == L'/') {
                continue;  // a drive or a doubled separator: nothing to create
            }
            // Without a descriptor (it could not be made) the folder inherits its parent's.
            CreateDirectoryW(folder.substr(0, i).c_str(),
                             descriptor != nullptr ? &security : nullptr);
        }
    }
}

}  // namespace

std::optional<std::u16string> LogBaseFolder() {
    // All three are read every time; a log line is rare, and the core picks among them.
    return ChooseLogBaseFolder(KnownProgramDataFolder(), EnvironmentProgramDataFolder(),
                               TemporaryFolder());
}

std::optional<std::tm> LogClockNow() {
    const __time64_t now = _time64(nullptr);
    std::tm local = {};
    if (_localtime64_s(&local, &now) != 0) {
        return std::nullopt;
    }
    return local;
}

UniqueHandle OpenLogForAppend(const std::u16string& path, bool create) {
    // FILE_APPEND_DATA alone makes every write go to the current end of the file atomically,
    // so the whole-line writes of agents in other sessions never interleave mid-line; it is
    // also all that the log folder's security grants users on a file another user created.
    return UniqueHandle(CreateFileW(ToWide(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
}

void WriteLogLine(std::u16string_view message) {
    const std::optional<std::u16string> base = LogBaseFolder();
    if (!base) {
        return;  // no base folder can be had: the line is dropped like an unopenable file
    }
    const std::u16string path = LogFilePath(*base);
    CreateFolders(ToWide(FolderOfPath(path)));
    const UniqueHandle file = OpenLogForAppend(path, true);
    if (!file.IsValid()) {
        return;
    }
    const std::optional<std::tm> local = LogClockNow();
    if (!local) {
        return;
    }
    const std::string line = FormatLogLine(*local, message);
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace orbelune
