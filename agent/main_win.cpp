// Entry point of orbelune_vcam_agent.exe: a GUI-subsystem program with no window. Whatever
// stands on the command line is ignored.
#include <windows.h>

#include "agent/agent_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return orbelune::RunAgent();
}
