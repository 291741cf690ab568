#include "agent/producer_win.h"

#include <optional>
#include <vector>

#include "agent/producer.h"
#include "common/system_error_win.h"
#include "common/text_win.h"
#include "log/log_lines.h"
#include "log/log_win.h"

namespace orbelune {
namespace {

bool PathExists(const std::wstring& path) {
    // Any failure, not only a missing file (access denied on a folder, an over-long path),
    // counts as nothing there: the start is reported as not found and tried again next pass.
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The system's full path of `path`; an empty path stays empty, a failure gives nothing.
std::optional<std::wstring> FullPath(const std::wstring& path) {
    if (path.empty()) {
        return path;
    }
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), length);
}

}  // namespace

UniqueHandle CreateKillOnCloseJob() noexcept {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (job.IsValid()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }
    return job;
}

std::optional<ProducerLaunch> PrepareProducer(const AgentSettings& settings) {
    const std::wstring configuredExe = ToWide(settings.producerExe);
    const std::optional<std::wstring> exe = FullPath(configuredExe);
    if (!exe || !PathExists(configuredExe)) {
        return std::nullopt;
    }
    // A repository root whose full path cannot be worked out is handed over as configured.
    const std::wstring configuredRoot = ToWide(settings.repoRoot);
    const std::wstring repoRoot = FullPath(configuredRoot).value_or(configuredRoot);
    ProducerLaunch launch;
    launch.arguments =
        ProducerArguments(ToU16(*exe), settings.provider, settings.cameraIndex, ToU16(repoRoot));
    launch.commandLine = BuildProducerCommandLine(launch.arguments);
    return launch;
}

DWORD CreateSuspendedProcess(std::wstring commandLine, UniqueHandle& process,
                             UniqueHandle& thread) noexcept {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        return GetLastError();
    }
    process = UniqueHandle(info.hProcess);
    thread = UniqueHandle(info.hThread);
    return 0;
}

void StartProducer(ProducerProcess& producer, const AgentSettings& settings) {
    StopProducer(producer);

    const std::optional<ProducerLaunch> launch = PrepareProducer(settings);
    if (!launch) {
        WriteLogLine(ProducerNotFoundLine(settings.producerExe));
        return;
    }
    if (const DWORD error =
            CreateSuspendedProcess(ToWide(launch->commandLine), producer.process, producer.thread);
        error != 0) {
        WriteLogLine(ProducerStartFailedLine(DescribeSystemError(error)));
        return;
    }
    // Into the job while still suspended, so that everything it starts belongs to the job too.
    if (producer.job.IsValid()) {
        AssignProcessToJobObject(producer.job.Get(), producer.process.Get());
    }
    ResumeThread(producer.thread.Get());
    WriteLogLine(ProducerStartedLine(settings.cameraIndex, settings.provider));
}

void StopProducer(ProducerProcess& producer) {
    if (!producer.IsRunning()) {
        return;
    }
    TerminateProcess(producer.process.Get(), 0);
    WaitForSingleObject(producer.process.Get(), kStopWaitMs);
    producer.thread.Close();
    producer.process.Close();
}

}  // namespace orbelune
