// The control tool's facts as Windows and the running agent give them, gathered in one pass.
#pragma once

#include "tools/ctl/facts.h"

namespace orbelune {

// What a command needs: the cameras and the settings; the status besides, with one look at
// each section; or the doctor's, which also watches the blocks for up to kWatchMs and asks
// Windows to start the producer and each logon entry's program, every such process created
// suspended and ended before it runs any code of its own.
enum class FactsFor { kCameras, kStatus, kDoctor };
Facts GatherFacts(FactsFor what);

// Whether the logon entry for all users, in either view of the registry, starts an agent.
bool MachineEntryStartsAgent();

}  // namespace orbelune
