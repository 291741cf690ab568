// Starting and watching other programs from outside: for the control tool, the benchmark and
// the tests, which run the agent beside its partners and look on.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles_win.h"

namespace orbelune {

// Polls `done` every `pollMs` until it holds or `timeoutMs` has passed; tells which.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20);

// The ids of the running processes whose image name is `image`, compared without regard to
// case as the file system compares names.
std::vector<DWORD> ProcessIdsOf(std::wstring_view image);

// Starts `commandLine` in `folder` (or this process's folder when empty), with no window and
// its standard handles on NUL; the process handle, or an empty one when it cannot be started.
UniqueHandle StartProgram(std::wstring commandLine, const std::wstring& folder = {});

}  // namespace orbelune
