// Starting and stopping the producer process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "config/settings.h"

namespace orbelune {

// Invariant: `running` is true exactly while `process` and `thread` hold open handles.
struct ProducerProcess {
    HANDLE job = nullptr;  // the kill-on-close job; null when it could not be created
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    bool running = false;
};

// Ends a producer still recorded as running, then starts a new one, suspended and inside the
// job before it runs any code. Logs the start, a missing executable or the failure; afterwards
// `running` tells whether a producer runs.
void StartProducer(ProducerProcess& producer, const AgentSettings& settings);

// Terminates the producer and waits up to kStopWaitMs for it. Writes no line; does nothing
// (no system call) when nothing runs.
void StopProducer(ProducerProcess& producer);

// The error code in decimal, followed by the system's text for it in parentheses.
std::u16string DescribeSystemError(std::uint32_t code);

}  // namespace orbelune
