// The agent's diagnostic log: one timestamped single-byte line per event (log_lines.h), appended
// to "<base>\Orbelune\Logs\vcam-agent.log". The Windows edge is in log_win.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orbelune {

// The security of each log folder the agent creates (a folder that exists already is left as it
// is), in SDDL. The agents of all signed-in users share the one log file, and the first of them
// creates it, so a file's creator must not be the only one who can write it; and since every
// user appends to it, none may delete or rewrite what the others wrote:
// - SYSTEM and Administrators: full control of the folder and all in it.
// - Interactive users (every signed-in session's token holds this group; it is the group the
//   virtual camera's sections grant too), on the folder itself: list, traverse, read, create
//   files and folders; no delete or rename of anything in it. On each file in it (inherited):
//   read and append (FILE_APPEND_DATA, not FILE_WRITE_DATA), nothing more, whoever created it.
// - OWNER RIGHTS: read control only, so that the user whose agent made the folder or the file
//   does not get the owner's implicit right to change its DACL and grant itself the rest.
// Protected ("P"), so that the creator-owner full control which ProgramData hands down does not
// apply here. The agent opens the log for FILE_APPEND_DATA alone, which this grants.
inline constexpr std::u16string_view kLogFolderSecurity =
    u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;IU)(A;OIIO;0x12008d;;;IU)"
    u"(A;OICI;RC;;;OW)";

// The log file's path under the given base folder.
std::u16string LogFilePath(std::u16string_view baseFolder);

// The base folder from its candidates, the first that was found: the ProgramData known folder
// (a successful lookup counts even when its path is empty), else the "ProgramData" environment
// variable, else the user's temporary folder. Nothing when none was found.
std::optional<std::u16string> ChooseLogBaseFolder(std::optional<std::u16string> knownFolder,
                                                  std::optional<std::u16string> environmentFolder,
                                                  std::optional<std::u16string> temporaryFolder);

}  // namespace orbelune
