// The shared-memory contract between the Orbelune camera agent and the virtual camera as the
// agent uses it: the names, sizes and byte layouts of the three sections, the freshness rule for
// ticks, and the agent's face (vcam_agent.h). Portable C++17 with the standard library only. The
// virtual camera includes vcam_peer.h (portable) or vcam_peer_win.h (its sections on Windows).
#pragma once

#include "vcam_agent.h"
#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"
#include "vcam_control.h"
