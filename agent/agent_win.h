// The agent's whole life: start-up, then the supervision loop.
#pragma once

namespace orbelune {

// Held by the running agent of a logon session; a second agent finds it and exits.
inline constexpr wchar_t kSingletonMutexName[] = L"Local\\OrbeluneAgentSingleton";

// Returns 0 when another agent already runs in this logon session; otherwise never returns.
int RunAgent();

}  // namespace orbelune
