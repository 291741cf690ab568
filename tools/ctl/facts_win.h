// The control tool's facts as Windows and the running agent give them, gathered in one pass.
#pragma once

#include "tools/ctl/facts.h"

namespace orbelune {

// What a command needs: the cameras and settings; for the status one look at each section too;
// for the doctor a watch of up to kWatchMs and trial starts that never run (created suspended).
enum class FactsFor { kCameras, kStatus, kDoctor };
Facts GatherFacts(FactsFor what);

// Whether the logon entry for all users, in either view of the registry, starts an agent.
bool MachineEntryStartsAgent();

}  // namespace orbelune
