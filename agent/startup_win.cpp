#include "agent/agent_win.h"

#include <windows.h>
#include <mfapi.h>
#include <objbase.h>

#include "agent/supervision_loop_win.h"
#include "log/log.h"

namespace orbelune {
namespace {

// An unnamed job whose only limit is kill-on-close: when the agent ends, however it ends, the
// system closes the last handle and every process in the job ends with it. No breakaway flag,
// so whatever the producer starts joins the job too. Null when the job cannot be created.
HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
}

}  // namespace

int RunAgent() {
    // Neither result matters here: without COM or Media Foundation the camera enumeration
    // fails on its own terms and the rest of the agent runs as usual.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);

    // Held until the process ends; never closed. A failed creation runs unguarded.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingletonMutexName);
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        WriteLogLine(u"agent already running in this session; exiting");
        return 0;
    }

    WriteLogLine(u"agent starting");
    // Lives as long as the process: the loop never returns.
    static AgentState state;
    state.producer.job = CreateKillOnCloseJob();
    RunSupervisionLoop(state);
}

}  // namespace orbelune
