// Reading the agent's settings from the registry.
#pragma once

#include "config/settings.h"

namespace orbelune {

// The raw values under HKEY_CURRENT_USER\Software\Orbelune.
RawSettingValues ReadRawSettingValues();

// A fresh snapshot; never fails.
AgentSettings ReadAgentSettings();

}  // namespace orbelune
