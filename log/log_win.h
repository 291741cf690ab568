// The log's Windows edge: where the log goes as the system says now, the clock its lines carry,
// and the append of one line.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "common/handles_win.h"
#include "log/log.h"

namespace orbelune {

// The base folder, chosen from what the system gives now.
std::optional<std::u16string> LogBaseFolder();

// The candidates, each as the system gives it now: the ProgramData known folder;
// the "ProgramData" environment variable (not when it needs 260 units or more); the user's
// temporary folder, with its trailing separator, when it is an existing folder.
std::optional<std::u16string> KnownProgramDataFolder();
std::optional<std::u16string> EnvironmentProgramDataFolder();
std::optional<std::u16string> TemporaryFolder();

// The log file at `path` opened for appending as every agent opens it (created where `create`
// says so); an invalid handle, with the thread's last error, when it cannot be.
UniqueHandle OpenLogForAppend(const std::u16string& path, bool create);

// Appends one line; the line is whole in the file when the call returns. Never
// reports failure: a line that cannot be written is dropped, and the next call tries afresh.
void WriteLogLine(std::u16string_view message);

// The local time now, as each line carries it; nothing when the C runtime cannot convert it.
std::optional<std::tm> LogClockNow();

}  // namespace orbelune
