// Waiting on another program with a deadline rather than a fixed sleep, for the tests and the
// benchmark.
#pragma once

#include <windows.h>

#include <functional>

namespace orbelune {

inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(pollMs);
    }
    return true;
}

}  // namespace orbelune
