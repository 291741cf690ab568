// The agent's diagnostic log: one timestamped single-byte line per event, appended to
// "<base>\Orbelune\Logs\vcam-agent.log".
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace orbelune {

// The bytes of one log line: "YYYY-MM-DD HH:MM:SS", a space, the message and CR LF. Code units
// up to U+00FF are written as the byte of the same value; every unit above it as '?', so a
// line always ends in CR LF. A line feed inside the message becomes CR LF, as text mode writes
// it, so such a message spans several physical lines.
std::string FormatLogLine(const std::tm& localTime, std::u16string_view message);

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

// Windows only. The base folder, chosen from what the system gives now.
std::optional<std::u16string> LogBaseFolder();

// Windows only. The candidates, each as the system gives it now: the ProgramData known folder;
// the "ProgramData" environment variable (not when it needs 260 units or more); the user's
// temporary folder, with its trailing separator, when it is an existing folder.
std::optional<std::u16string> KnownProgramDataFolder();
std::optional<std::u16string> EnvironmentProgramDataFolder();
std::optional<std::u16string> TemporaryFolder();

// Windows only. Appends one line; the line is whole in the file when the call returns. Never
// reports failure: a line that cannot be written is dropped, and the next call tries afresh.
void WriteLogLine(std::u16string_view message);

}  // namespace orbelune
