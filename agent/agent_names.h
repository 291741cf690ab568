// The names by which other programs find the agent: its executable, its version resource and
// its single-instance mutex. The control tool and the benchmark look for these, so they live here,
// apart from the agent's Windows code.
#pragma once

#include <string_view>

namespace orbelune {

inline constexpr std::u16string_view kAgentExeName = u"orbelune_vcam_agent.exe";

// The FileDescription of the agent's version resource (agent.rc.in): the control tool knows a
// running agent by it whatever its file is called.
inline constexpr std::u16string_view kAgentDescription = u"Orbelune camera agent";

// Held by the running agent of a logon session; a second agent finds it and exits.
inline constexpr wchar_t kSingletonMutexName[] = L"Local\\OrbeluneAgentSingleton";

}  // namespace orbelune
