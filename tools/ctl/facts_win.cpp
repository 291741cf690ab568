#include "tools/ctl/facts_win.h"

#include <windows.h>
#include <mfapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cwchar>
#include <map>
#include <tuple>

#include "agent/agent_names.h"
#include "agent/producer.h"
#include "agent/producer_win.h"
#include "capabilities/capabilities_win.h"
#include "common/path.h"
#include "common/file_win.h"
#include "common/path_win.h"
#include "common/section_win.h"
#include "common/system_error_win.h"
#include "common/text.h"
#include "common/text_win.h"
#include "config/settings_win.h"
#include "consumers/app_identity_win.h"
#include "log/log_access_win.h"
#include "log/log_win.h"
#include "tools/ctl/ctl_command.h"
#include "tools/report/local_time_win.h"

namespace orbelune {
namespace {

SystemError ErrorOf(DWORD code) {
    return {code, DescribeSystemError(code)};
}

std::uint64_t Value(FILETIME time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A FILETIME in seconds on the log's clock.
std::optional<std::int64_t> LogSecondsOf(FILETIME time) {
    const std::optional<std::tm> local = LocalTimeOf(Value(time));
    return local ? std::optional(LocalSeconds(*local)) : std::nullopt;
}

std::u16string ImagePath(HANDLE process) {
    std::vector<wchar_t> path(32768);
    DWORD length = static_cast<DWORD>(path.size());
    return QueryFullProcessImageNameW(process, 0, path.data(), &length)
               ? ToU16(std::wstring_view(path.data(), length))
               : std::u16string();
}

// Every process of one snapshot; an agent known by its image's version resource, or by its file
// name where the image cannot be read (its path unknown, or the file gone while it runs).
void GatherProcesses(Facts& facts) {
    const auto sessionOf = [](DWORD id) {
        DWORD session = 0;
        return ProcessIdToSessionId(id, &session) ? session : 0xFFFFFFFF;
    };
    facts.processId = GetCurrentProcessId();
    facts.session = sessionOf(facts.processId);
    // Each image's version name, read once.
    std::map<std::u16string, std::optional<std::u16string>> versionNames;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot.IsValid() && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        const DWORD id = entry.th32ProcessID;
        // A process this tool may not open keeps its time and path unknown: the calls fail.
        const UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        FILETIME created = {}, exited = {}, kernel = {}, user = {};
        const bool timed = GetProcessTimes(handle.Get(), &created, &exited, &kernel, &user);
        ProcessFacts& p = facts.processes.emplace_back(ProcessFacts{
            id, entry.th32ParentProcessID, sessionOf(id), timed ? Value(created) : 0,
            ToU16(std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))),
            ImagePath(handle.Get())});
        const auto [versionName, added] = versionNames.try_emplace(ToLowerUnits(p.path));
        if (added && !p.path.empty()) {
            versionName->second = ReadVersionName(p.path);
        }
        p.agent = versionName->second ? *versionName->second == kAgentDescription
                                      : ToLowerUnits(p.image) == kAgentExeName;
    }
}

// Windows' answer to starting `commandLine` as the agent starts its producer: the image it
// started, or its error. Created suspended in a job, it is ended before its first instruction.
std::pair<std::optional<SystemError>, std::u16string> TryStart(const std::u16string& commandLine) {
    const UniqueHandle job = CreateKillOnCloseJob();
    UniqueHandle process, thread;
    if (const DWORD error = CreateSuspendedProcess(ToWide(commandLine), process, thread)) {
        return {ErrorOf(error), {}};
    }
    AssignProcessToJobObject(job.Get(), process.Get());
    std::u16string image = ImagePath(process.Get());
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), kStopWaitMs);
    return {std::nullopt, std::move(image)};
}

// The Run value as RegGetValueW reads it with `flags`, which name the view of the registry.
std::optional<std::u16string> ReadRunValue(HKEY root, DWORD flags) {
    std::vector<wchar_t> buffer(32768);
    auto size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    return RegGetValueW(root, ToWide(kRunKey).c_str(), ToWide(kRunValueName).c_str(), flags,
                        nullptr, buffer.data(), &size) == ERROR_SUCCESS
               ? std::optional(ToU16(buffer.data()))
               : std::nullopt;
}

// The Run value under `root`, as stored and as Windows expands it; HKEY_LOCAL_MACHINE's in the
// 64-bit view (the MSI's), else in the 32-bit view, which Windows also runs at logon.
std::optional<LogonEntry> ReadLogonEntry(HKEY root, bool tryStart) {
    constexpr DWORD kAsStored = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD view = RRF_SUBKEY_WOW6464KEY;
    std::optional<std::u16string> stored = ReadRunValue(root, view | kAsStored);
    if (!stored && root == HKEY_LOCAL_MACHINE) {
        view = RRF_SUBKEY_WOW6432KEY;
        stored = ReadRunValue(root, view | kAsStored);
    }
    if (!stored) {
        return std::nullopt;
    }
    // Read as REG_SZ, Windows expands a REG_EXPAND_SZ.
    std::u16string expanded = ReadRunValue(root, view | RRF_RT_REG_SZ).value_or(*stored);
    LogonEntry entry{*stored, std::move(expanded), {}, {}, false, view == RRF_SUBKEY_WOW6432KEY};
    if (tryStart) {
        std::tie(entry.startError, entry.image) = TryStart(entry.expanded);
        entry.agent = !entry.image.empty() && ReadVersionName(entry.image) == kAgentDescription;
    }
    return entry;
}

// Each block under each name as the agent opens it, with snapshots of the published blocks the
// agent takes; then the ticks, looked at again while `watch` until WatchSettled or kWatchMs.
void LookAtSections(Facts& facts, bool watch) {
    std::vector<std::tuple<SectionFacts*, SectionLook, bool>> looked;  // and whether control
    for (const BlockSections& block : kBlockSections) {
        for (size_t i = 0; i < 2; ++i) {
            SectionFacts& section = (facts.*block.sections)[i];
            const std::wstring name =
                (i == 0 ? vcam::kGlobalPrefix : vcam::kLocalPrefix) + std::wstring(block.name);
            SectionLook look = LookAtSection(name, block.size);
            section.name = ToU16(name);
            section.opened = look.opened;
            if (!look.view) {
                section.error = ErrorOf(look.error);
                continue;
            }
            const void* view = look.view.get();
            std::memcpy(&section.magic, view, 4);
            std::memcpy(&section.version, static_cast<const char*>(view) + 4, 4);
            // The names are looked at in the agent's order, so the section it takes is known now.
            if (&section == AgentSection(facts.capabilities)) {
                facts.capabilitiesBlock.name = section.name;
                TakeSnapshot(view, vcam::kCapabilitiesBlockSize, facts.capabilitiesBlock);
            } else if (&section == AgentSection(facts.consumers)) {
                facts.consumersBlock.name = section.name;
                TakeSnapshot(view, vcam::kConsumersBlockSize, facts.consumersBlock);
                facts.consumerStartsLocal = LocalStartTimes(facts.consumersBlock.snapshot);
            }
            if (block.sections != &Facts::capabilities) {
                looked.emplace_back(&section, std::move(look), block.sections == &Facts::control);
            }
        }
    }
    for (const std::uint64_t start = GetTickCount64();;) {
        // Each look's fields loaded first, the clock read after them.
        for (const auto& [section, look, control] : looked) {
            Sample& sample = section->samples.emplace_back();
            if (control) {
                sample.control = *vcam::ReadControlBlock(look.view.get(), vcam::kControlBlockSize);
            } else {
                sample.updatedTick =
                    vcam::LoadControlTick(look.view.get(), vcam::kConsumersUpdatedTickField);
            }
            sample.now = GetTickCount64();
        }
        if (!watch || WatchSettled(facts) || GetTickCount64() - start >= kWatchMs) {
            return;
        }
        Sleep(50);
    }
}

// The settings key's last write, on the log's clock.
std::optional<std::int64_t> SettingsWritten() {
    UniqueHkey key;
    FILETIME written = {};
    const bool read =
        RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str(), 0, KEY_READ, key.Put()) ==
            ERROR_SUCCESS &&
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, &written) == ERROR_SUCCESS;
    return read ? LogSecondsOf(written) : std::nullopt;
}

// Whether a folder stands at `path`, or a file; nothing when neither does.
std::optional<bool> IsFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES
               ? std::nullopt
               : std::optional((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

// A folder where the log file should be, or the nearest file where one of its folders should be.
std::u16string LogBlockedBy(const std::u16string& path) {
    for (std::u16string at = path, parent; !at.empty() && at != parent;
         parent = at, at = FolderOfPath(at)) {
        if (const std::optional<bool> folder = IsFolder(at)) {
            return *folder == (at == path) ? at : std::u16string();
        }
    }
    return {};
}

// The producer as the agent would start it now, and Windows' answer to that start.
void GatherProducer(Facts& facts) {
    const AgentSettings settings = SettingsOf(facts);
    facts.producerIsFolder = IsFolder(settings.producerExe).value_or(false);
    facts.repoRootIsFolder = IsFolder(settings.repoRoot).value_or(false);
    const std::optional<ProducerLaunch> launch = PrepareProducer(settings);
    if (!launch) {
        return;
    }
    facts.producerArguments = launch->arguments;
    if (WIN32_FILE_ATTRIBUTE_DATA file = {};
        GetFileAttributesExW(ToWide(launch->arguments[0]).c_str(), GetFileExInfoStandard, &file)) {
        facts.producerWritten = LogSecondsOf(file.ftLastWriteTime);
    }
    facts.producerCommandLine = launch->commandLine;
    int count = 0;
    const UniqueLocalMemory<wchar_t*> argv(
        CommandLineToArgvW(ToWide(launch->commandLine).c_str(), &count));
    for (int i = 0; argv && i < count; ++i) {
        facts.producerArgv.push_back(ToU16(argv.get()[i]));
    }
    // A relative path would be resolved against this tool's current folder, not the agent's.
    if (IsAbsolutePath(settings.producerExe)) {
        facts.producerTried = true;
        std::tie(facts.producerStartError, facts.producerImage) = TryStart(launch->commandLine);
    }
}

}  // namespace

bool MachineEntryStartsAgent() {
    const std::optional<LogonEntry> entry = ReadLogonEntry(HKEY_LOCAL_MACHINE, true);
    return entry && entry->agent;
}

Facts GatherFacts(FactsFor what) {
    Facts facts;
    facts.toolFolder = ModuleDirectory();
    facts.raw = ReadRawSettingValues();
    // Left running, as the agent leaves them; without them the listing fails with its own error.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);
    facts.cameras = ListCameras();
    if (what == FactsFor::kCameras) {
        return facts;
    }
    const bool doctor = what == FactsFor::kDoctor;
    facts.settingsWritten = SettingsWritten();
    // A mutex this tool may not open still exists.
    const auto agentMutex = [] {
        const UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kSingletonMutexName));
        return mutex.IsValid() || GetLastError() == ERROR_ACCESS_DENIED;
    };
    facts.agentMutex = agentMutex();
    LookAtSections(facts, doctor);
    // After the watch (an agent found starting has had its first pass), before any trial start.
    GatherProcesses(facts);
    facts.agentMutex = agentMutex();
    // Tried only for the doctor, or for the agent's folder while no agent runs.
    const bool tryStart = doctor || SessionAgent(facts) == nullptr;
    facts.userEntry = ReadLogonEntry(HKEY_CURRENT_USER, tryStart);
    facts.machineEntry = ReadLogonEntry(HKEY_LOCAL_MACHINE, tryStart);
    if (doctor) {
        GatherProducer(facts);
    }
    if (const std::optional<std::u16string> base = LogBaseFolder()) {
        facts.logPath = LogFilePath(*base);
        // Its last kLogTailBytes from the start of a line (the byte before them tells whether
        // they start one): only the log's last lines are shown and judged.
        constexpr size_t kLogTailBytes = size_t{64} * 1024;
        facts.logBytes = ReadFileTail(ToWide(facts.logPath), kLogTailBytes + 1);
        if (facts.logBytes && facts.logBytes->size() > kLogTailBytes) {
            facts.logBytes->erase(0, facts.logBytes->find('\n') + 1);
        }
        facts.logAccess = JudgeLogAccess(*base, ReadLogAccess(*base));
    }
    if (const std::optional<std::u16string> known = KnownProgramDataFolder()) {
        facts.expectedLogPath = LogFilePath(*known);
    }
    facts.logBlockedBy = LogBlockedBy(facts.logPath);
    if (const UniqueHandle log = OpenLogForAppend(facts.logPath, false); !log.IsValid()) {
        facts.logOpenError = ErrorOf(GetLastError());
    }
    facts.localNow = LogClockNow().value_or(std::tm{});
    return facts;
}

}  // namespace orbelune
