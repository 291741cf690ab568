// What the control tool reads from the system for `status`, `cameras` and `doctor`: the
// settings, the processes, the shared sections, the logon entries, the log and the cameras.
#pragma once

#include "capabilities/capabilities.h"
#include "tools/ctl/doctor.h"
#include "tools/ctl/status_report.h"

namespace orbelune {

// What `status` shows, the cameras aside.
StatusFacts GatherStatus();

// The cameras as `cameras` and `status` show them, COM and Media Foundation started for the call
// as the agent starts them.
CameraListing ListCamerasOnce();

// What `doctor` judges: the status with the cameras, and what it looks at besides.
DoctorFacts GatherDoctorFacts();

}  // namespace orbelune
