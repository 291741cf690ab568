// Starting and stopping the producer process.
#pragma once

#include <windows.h>

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

// Ends a producer still recorded as running, then starts a new one, suspended and inside the
// job before it runs any code. Logs the start, a missing executable or the failure; afterwards
// `IsRunning()` tells whether a producer runs.
void StartProducer(ProducerProcess& producer, const AgentSettings& settings);

// Terminates the producer and waits up to kStopWaitMs for it. Writes no line; does nothing
// (no system call) when nothing runs.
void StopProducer(ProducerProcess& producer);

}  // namespace orbelune
