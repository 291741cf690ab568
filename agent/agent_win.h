// The agent's whole life: start-up, then the supervision loop.
#pragma once

namespace orbelune {

// Returns 0 when another agent already runs in this logon session; otherwise never returns.
int RunAgent();

}  // namespace orbelune
