// Starting and stopping the producer process.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/handles_win.h"
#include "config/settings.h"

namespace orbelune {

// The producer's process and the job it runs in. A producer runs exactly while `process` is
// held: `IsRunning()` cannot disagree with the handles.
struct ProducerProcess {
    UniqueHandle job;      // the kill-on-close job; empty when it could not be created
    UniqueHandle process;  // the running producer; empty when none
    UniqueHandle thread;   // its primary thread; empty when none

    [[nodiscard]] bool IsRunning() const { return process.IsValid(); }
};

// An unnamed job whose only limit is kill-on-close: when its last handle closes, however the
// holder ends, every process in it ends too. No breakaway flag, so whatever a process in it
// starts joins it. Empty when the job cannot be created.
UniqueHandle CreateKillOnCloseJob() noexcept;

// What StartProducer starts for `settings`: the nine arguments, the executable and the
// repository root made absolute against this process's current folder, and the command line
// they make. Nothing when there is nothing at the executable's path, where StartProducer logs
// "producer exe not found" instead.
struct ProducerLaunch {
    std::vector<std::u16string> arguments;
    std::u16string commandLine;
};
std::optional<ProducerLaunch> PrepareProducer(const AgentSettings& settings);

// Creates the process of `commandLine` as the agent creates its producer: suspended, without a
// window, inheriting no handle. 0, or the system error of the creation.
[[nodiscard]] DWORD CreateSuspendedProcess(std::wstring commandLine, UniqueHandle& process,
                                           UniqueHandle& thread) noexcept;

// Ends a producer still recorded as running, then starts a new one, suspended and inside the
// job before it runs any code. Logs the start, a missing executable or the failure; afterwards
// `IsRunning()` tells whether a producer runs.
void StartProducer(ProducerProcess& producer, const AgentSettings& settings);

// Terminates the producer and waits up to kStopWaitMs for it. Writes no line; does nothing
// (no system call) when nothing runs.
void StopProducer(ProducerProcess& producer);

}  // namespace orbelune
