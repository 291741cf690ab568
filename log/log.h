// The agent's diagnostic log: one timestamped single-byte line per event (log_lines.h), appended
// to "<base>\Orbelune\Logs\vcam-agent.log". The Windows edge is in log_win.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// kLogFolderSecurity: the security, in SDDL, of each log folder the agent creates (a folder that
// exists already is left as it is); log/log_folder_security.sddl holds it and says what it grants.
#include "log/log_folder_security.h"

namespace orbelune {

// The log file's path under the given base folder.
std::u16string LogFilePath(std::u16string_view baseFolder);

// The base folder from its candidates, the first that was found: the ProgramData known folder
// (a successful lookup counts even when its path is empty), else the "ProgramData" environment
// variable, else the user's temporary folder. Nothing when none was found.
std::optional<std::u16string> ChooseLogBaseFolder(std::optional<std::u16string> knownFolder,
                                                  std::optional<std::u16string> environmentFolder,
                                                  std::optional<std::u16string> temporaryFolder);

}  // namespace orbelune
