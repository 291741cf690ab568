#include "agent/agent_win.h"

#include <windows.h>
#include <mfapi.h>
#include <objbase.h>

#include "agent/agent_names.h"
#include "agent/producer_win.h"
#include "agent/supervision_loop_win.h"
#include "common/handles_win.h"
#include "log/log_lines.h"
#include "log/log_win.h"

namespace orbelune {
int RunAgent() {
    // Neither result matters here: without COM or Media Foundation the camera enumeration
    // fails on its own terms and the rest of the agent runs as usual.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);

    // A failed creation runs unguarded.
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, kSingletonMutexName));
    if (mutex.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.Close();
        WriteLogLine(kAgentAlreadyRunningLine);
        return 0;
    }
    // Held until the process ends, released from its owner on purpose.
    static_cast<void>(mutex.Take());

    WriteLogLine(kAgentStartingLine);
    // Never destroyed: the loop never returns and the process ends only from outside, so the
    // job, the sections and their views are never closed by the agent; the system closes them,
    // and closing the job ends the producer with the agent.
    static AgentState state;
    state.producer.job = CreateKillOnCloseJob();
    RunSupervisionLoop(state);
}

}  // namespace orbelune
