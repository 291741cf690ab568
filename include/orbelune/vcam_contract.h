// The shared-memory contract between the Orbelune camera agent and the virtual camera: the
// names, sizes and byte layouts of the three sections, the freshness rule for ticks, and for
// each block its writer and its reader side by side, with the virtual camera's snapshot of the
// two blocks the agent publishes. Portable C++17 with the standard library only; the agent is
// built on it, and so is vcam_peer_win.h, the virtual camera's side on Windows.
#pragma once

#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"
#include "vcam_control.h"
