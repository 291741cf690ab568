// The process table, and starting and watching other programs from outside: for the agent's
// consumer scan, the control tool, the stand-in producer, the benchmark and the tests.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/handles_win.h"

namespace orbelune {

// One process of a snapshot: its id and its image's file name.
struct RunningProcess {
    DWORD id = 0;
    std::wstring image;
};

// The processes of one Toolhelp snapshot, in the snapshot's order; empty when no snapshot can
// be taken.
std::vector<RunningProcess> RunningProcesses();

// The ids of the running processes whose image name is `image`, compared without regard to
// the case of ASCII letters.
std::vector<DWORD> ProcessIdsOf(std::wstring_view image);

// Starts `commandLine` in `folder` (or this process's folder when empty), with no window, its
// standard output and error on the inheritable handles `out` and `err`, and on NUL where they
// are null, as its input is; the process handle, or an empty one when it cannot be started.
UniqueHandle StartProgram(std::wstring commandLine, const std::wstring& folder = {},
                          HANDLE out = nullptr, HANDLE err = nullptr);

}  // namespace orbelune
