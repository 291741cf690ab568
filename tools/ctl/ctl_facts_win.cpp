#include "tools/ctl/ctl_facts_win.h"

#include <windows.h>
#include <mfapi.h>
#include <tlhelp32.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_names.h"
#include "capabilities/capabilities_win.h"
#include "common/handles_win.h"
#include "common/path.h"
#include "common/path_win.h"
#include "common/process_win.h"
#include "common/section_win.h"
#include "common/system_error_win.h"
#include "common/text.h"
#include "common/text_win.h"
#include "config/settings_win.h"
#include "log/log_win.h"
#include "tools/ctl/ctl_command.h"
#include "tools/report/local_time_win.h"

namespace orbelune {
namespace {

// An existing file opened for `access`, shared with every other use as the agent shares the log.
UniqueHandle OpenExisting(const std::u16string& path, DWORD access) {
    return UniqueHandle(CreateFileW(ToWide(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The end of the log, at most kLogTailBytes from its last line back, starting at a line's
// start: the log has no size limit, and only its last lines are shown and judged.
constexpr LONGLONG kLogTailBytes = LONGLONG{64} * 1024;

std::optional<std::string> ReadLogTail(const std::u16string& path) {
    const UniqueHandle file = OpenExisting(path, GENERIC_READ);
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) {
        return std::nullopt;
    }
    LARGE_INTEGER from = {};
    from.QuadPart = size.QuadPart > kLogTailBytes ? size.QuadPart - kLogTailBytes : 0;
    if (!SetFilePointerEx(file.Get(), from, nullptr, FILE_BEGIN)) {
        return std::nullopt;
    }
    std::string tail(static_cast<size_t>(size.QuadPart - from.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr)) {
        return std::nullopt;
    }
    tail.resize(read);
    if (from.QuadPart > 0) {
        tail.erase(0, tail.find('\n') == std::string::npos ? tail.size() : tail.find('\n') + 1);
    }
    return tail;
}

// The system's full path of `path`, as the agent makes it; the path itself when it has none.
std::u16string FullPath(const std::u16string& path) {
    const std::wstring wide = ToWide(path);
    const DWORD needed = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length =
        needed == 0 ? 0 : GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
    return length == 0 || length >= needed ? path : ToU16(std::wstring_view(buffer.data(), length));
}

// The section as the agent would find it, copied through a read-only view; never created.
// (Wine 8 maps any view that fits in the section's last page, so there a section smaller than
// its block still maps.)
SectionFacts ReadSection(std::wstring_view name, size_t size) {
    SectionCopy copy = CopySection(name, size);
    return {ToU16(copy.name), std::move(copy.bytes)};
}

bool AgentRunning() {
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kSingletonMutexName));
    // A mutex we may not open still exists.
    return mutex.IsValid() || GetLastError() == ERROR_ACCESS_DENIED;
}

// The Run value under HKEY_CURRENT_USER (this user's, written by `install`) or
// HKEY_LOCAL_MACHINE (every user's, written by the MSI; this 64-bit tool reads the 64-bit
// view that the 64-bit package writes).
std::optional<std::u16string> ReadLogonEntry(HKEY root) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, ToWide(kRunKey).c_str(), ToWide(kRunValueName).c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return ToU16(buffer);
}

// Every process of one snapshot, with who started it, its session and its creation time; and
// the agents of this session, oldest first, with their images' full paths.
void GatherProcesses(DoctorFacts& facts) {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    facts.session = session;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot.IsValid() && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        ProcessFacts p;
        p.id = entry.th32ProcessID;
        p.parentId = entry.th32ParentProcessID;
        p.image = ToU16(std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH)));
        DWORD itsSession = 0;
        p.session = ProcessIdToSessionId(p.id, &itsSession) ? itsSession : 0xFFFFFFFF;
        const UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.id));
        FILETIME created = {}, exited = {}, kernel = {}, user = {};
        if (handle.IsValid() && GetProcessTimes(handle.Get(), &created, &exited, &kernel, &user)) {
            p.created =
                (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        }
        if (ToLowerUnits(p.image) == kAgentExeName && p.session == session) {
            wchar_t path[32768] = {};
            DWORD length = 32768;
            if (handle.IsValid() && QueryFullProcessImageNameW(handle.Get(), 0, path, &length)) {
                facts.agentPaths.push_back(ToU16(std::wstring_view(path, length)));
            }
            // A second agent exits at once; the one that holds the session's mutex is older.
            if (p.created != 0 && (!facts.agent || p.created < facts.agent->created)) {
                facts.agent = p;
            }
        }
        facts.processes.push_back(std::move(p));
    }
}

// The consumers block's update tick, watched under each name that holds a block the agent can
// stamp, until it changes or is kProgressWindowMs old: longer than the agent's longest pass
// (a producer's stop waits up to kStopWaitMs) plus its one-second stamping interval.
constexpr std::uint64_t kProgressWindowMs = 5000;

AgentProgress WatchAgent() {
    struct Watched {
        std::wstring name;
        UniqueHandle mapping;
        UniqueView view;
        std::uint64_t first = 0;
    };
    const auto tick = [](const Watched& w) {
        // One load of the live word: the agent may be writing the block.
        return vcam::IsConsumersBlockValid(w.view.get(), vcam::kConsumersBlockSize)
                   ? std::optional(vcam::detail::Load<std::uint64_t>(
                         w.view.get(), vcam::kConsumersUpdatedTickField.offset))
                   : std::nullopt;
    };
    std::vector<Watched> watched;
    for (const wchar_t* prefix : {vcam::kGlobalPrefix, vcam::kLocalPrefix}) {
        Watched w{prefix + std::wstring(vcam::kConsumersSectionName), {}, {}, 0};
        w.mapping = UniqueHandle(OpenFileMappingW(FILE_MAP_READ, FALSE, w.name.c_str()));
        if (w.mapping.IsValid()) {
            w.view.reset(
                MapViewOfFile(w.mapping.Get(), FILE_MAP_READ, 0, 0, vcam::kConsumersBlockSize));
        }
        if (w.view && tick(w)) {
            w.first = *tick(w);
            watched.push_back(std::move(w));
        }
    }
    AgentProgress progress;
    if (watched.empty()) {
        return progress;
    }
    progress.watched = true;
    const std::uint64_t start = GetTickCount64();
    for (;;) {
        const std::uint64_t now = GetTickCount64();
        bool timedOut = true;
        for (const Watched& w : watched) {
            const std::uint64_t value = tick(w).value_or(w.first);
            const std::uint64_t since = w.first != 0 && w.first <= now ? w.first : start;
            progress.section = ToU16(w.name);
            progress.updatedTick = value;
            progress.staleMs = now - since;
            if (value != w.first) {
                progress.advanced = true;
                return progress;
            }
            timedOut = timedOut && now - since > kProgressWindowMs;
        }
        if (timedOut) {
            return progress;
        }
        Sleep(50);
    }
}

// The control section under one full name, opened with the agent's access and copied through
// a read-only view; no name when it cannot be opened so.
SectionFacts ReadOneSection(const wchar_t* prefix, std::wstring_view name, size_t size) {
    const std::wstring fullName = prefix + std::wstring(name);
    const UniqueHandle section(
        OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName.c_str()));
    if (!section.IsValid()) {
        return {};
    }
    SectionFacts facts{ToU16(fullName), {}};
    const UniqueView view(MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, size));
    if (view) {
        const auto* bytes = static_cast<const std::byte*>(view.get());
        facts.bytes.assign(bytes, bytes + size);
    }
    return facts;
}

bool Exists(const std::u16string& path) {
    return !path.empty() && GetFileAttributesW(ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The first two bytes of a file (a program's are "MZ"), when it can be read.
std::optional<std::string> FileHead(const std::u16string& path) {
    const UniqueHandle file = OpenExisting(path, GENERIC_READ);
    char head[2] = {};
    DWORD read = 0;
    if (!file.IsValid() || !ReadFile(file.Get(), head, sizeof head, &read, nullptr)) {
        return std::nullopt;
    }
    return std::string(head, read);
}

}  // namespace

StatusFacts GatherStatus() {
    StatusFacts facts;
    // The agent's own rules, applied as the agent applies them: the tool is installed beside
    // the agent, so its folder stands for the agent's.
    facts.raw = ReadRawSettingValues();
    facts.moduleFolder = ModuleDirectory();
    facts.agentRunning = AgentRunning();
    // The name the producer runs under, as Windows makes it (trailing spaces and dots dropped).
    facts.producerImage =
        FileNameOfPath(FullPath(SettingsFromValues(facts.raw, facts.moduleFolder).producerExe));
    const std::vector<DWORD> producerIds = ProcessIdsOf(ToWide(facts.producerImage));
    facts.producerIds.assign(producerIds.begin(), producerIds.end());
    facts.logonEntry = ReadLogonEntry(HKEY_CURRENT_USER);
    facts.machineLogonEntry = ReadLogonEntry(HKEY_LOCAL_MACHINE);
    facts.control = ReadSection(vcam::kControlSectionName, vcam::kControlBlockSize);
    const SectionFacts capabilities =
        ReadSection(vcam::kCapabilitiesSectionName, vcam::kCapabilitiesBlockSize);
    const SectionFacts consumers =
        ReadSection(vcam::kConsumersSectionName, vcam::kConsumersBlockSize);
    // After the copies: every tick in them was stamped earlier.
    facts.now = GetTickCount64();
    // Shown as found, valid or not, through the contract's readers of a block at rest.
    facts.capabilities = {
        capabilities.name,
        vcam::ReadCapabilitiesBlock(capabilities.bytes.data(), capabilities.bytes.size())};
    facts.consumers = {consumers.name,
                       vcam::ReadConsumersBlock(consumers.bytes.data(), consumers.bytes.size())};
    facts.consumerStartsLocal = LocalStartTimes(facts.consumers);
    if (const std::optional<std::u16string> base = LogBaseFolder()) {
        facts.logPath = LogFilePath(*base);
        facts.logBytes = ReadLogTail(facts.logPath);
    }
    return facts;
}

CameraListing ListCamerasOnce() {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CameraListing listing;
    if (const HRESULT started = MFStartup(MF_VERSION, MFSTARTUP_LITE); FAILED(started)) {
        listing.error = static_cast<std::uint32_t>(started);
    } else {
        listing = ListCameras(true);
        MFShutdown();
    }
    if (com) {
        CoUninitialize();
    }
    return listing;
}

DoctorFacts GatherDoctorFacts() {
    DoctorFacts facts;
    facts.status = GatherStatus();
    const StatusFacts& status = facts.status;
    GatherProcesses(facts);
    if (status.agentRunning) {
        facts.progress = WatchAgent();
    }
    facts.controlGlobal =
        ReadOneSection(vcam::kGlobalPrefix, vcam::kControlSectionName, vcam::kControlBlockSize);
    facts.controlLocal =
        ReadOneSection(vcam::kLocalPrefix, vcam::kControlSectionName, vcam::kControlBlockSize);
    // After the copies that the rules judge: every tick in them was stamped earlier.
    facts.status.now = GetTickCount64();
    facts.logonEntryProgramExists =
        status.logonEntry && Exists(LogonEntryProgram(*status.logonEntry));
    facts.machineLogonEntryProgramExists =
        status.machineLogonEntry && Exists(LogonEntryProgram(*status.machineLogonEntry));
    const AgentSettings settings = SettingsFromValues(status.raw, status.moduleFolder);
    const std::u16string& producer = settings.producerExe;
    facts.producerExists = Exists(producer);
    facts.producerHead = FileHead(producer);
    facts.producerFullPath = FullPath(producer);
    facts.repoRootFullPath = FullPath(settings.repoRoot);
    const DWORD root = GetFileAttributesW(ToWide(settings.repoRoot).c_str());
    facts.repoRootIsFolder =
        root != INVALID_FILE_ATTRIBUTES && (root & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.status.cameras = ListCamerasOnce();
    if (const std::optional<std::u16string> known = KnownProgramDataFolder()) {
        facts.expectedLogPath = LogFilePath(*known);
    }
    const UniqueHandle log = OpenExisting(status.logPath, FILE_APPEND_DATA);
    if (!log.IsValid()) {
        facts.logOpenError = GetLastError();
        facts.logOpenErrorText = DescribeSystemError(*facts.logOpenError);
    }
    facts.localNow = LogClockNow().value_or(std::tm{});
    return facts;
}

}  // namespace orbelune
