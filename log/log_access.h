// Whether the log's folder and file let every signed-in user's agent append, judged on their
// DACLs as the security API reads them, and the command that mends one that does not. The
// reading is in log_access_win.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbelune {

// One access-allowed or access-denied entry of a DACL (other kinds grant or deny nothing
// here and are left out).
struct AccessEntry {
    bool allowed = true;     // ACCESS_ALLOWED_ACE_TYPE, else ACCESS_DENIED_ACE_TYPE
    std::string sid;         // as ConvertSidToStringSidW gives it, such as "S-1-5-4"
    std::uint32_t mask = 0;  // generic rights are read as a file's
    std::uint8_t flags = 0;  // the ACE's inheritance flags

    bool operator==(const AccessEntry&) const = default;
};

// One log path as Windows has it.
struct LogPathSecurity {
    bool reparsePoint = false;  // a junction or link stands in its place
    std::uint32_t links = 1;    // a file's hard links
    bool nullDacl = false;      // no DACL: every right to everyone
    std::vector<AccessEntry> dacl;
    // The DACL is one the file system keeps: protected, or built by inheritance from the folder
    // above. One that is neither is made up from the file's mode by a file system that keeps no
    // descriptors (Wine's), and says nothing of who may append.
    bool kept = true;
};

enum class LogPathKind {
    kDataFolder,  // ProgramData\Orbelune: only where it leads matters
    kLogFolder,   // ProgramData\Orbelune\Logs
    kLogFile,     // vcam-agent.log
};

enum class LogAccessFault {
    kRedirected,        // a reparse point, or a file with another name elsewhere
    kCannotCreateFile,  // the log folder does not let users create the log
    kFilesNotShared,    // a log the folder's first user creates is theirs alone
    kCannotAppend,      // the log file does not let users append
};

// What keeps a signed-in user's agent from appending to the log through this path, judged for
// a token that holds only the groups every signed-in user holds (Everyone, INTERACTIVE,
// Authenticated Users, Users): an entry for one user alone, the creator-owner's included,
// grants the others nothing. Nothing when the path is fine.
std::optional<LogAccessFault> JudgeLogPath(LogPathKind kind, const LogPathSecurity& security);

// One thing that keeps users' agents from the log: the path, what is wrong with it, and the
// command, for an elevated prompt, that mends it: the log folders get kLogFolderSecurity through
// PowerShell (only the DACL is set, and Windows hands it down to the files in them); a log file
// takes what its folder hands down (icacls /reset); a junction or link is removed (not what it
// leads to), and the next line an agent writes makes a real folder or file with the log's
// security.
struct LogAccessFinding {
    std::u16string path;
    LogPathKind kind = LogPathKind::kLogFile;
    LogAccessFault fault = LogAccessFault::kCannotAppend;
    std::u16string mend;

    bool operator==(const LogAccessFinding&) const = default;
};

// The findings for the log under `baseFolder` from what was read of its paths, in the order of
// LogPathKind (nothing for a path that is not there). Below a path that leads elsewhere nothing is
// judged: it is not the log's.
std::vector<LogAccessFinding> JudgeLogAccess(
    std::u16string_view baseFolder, const std::array<std::optional<LogPathSecurity>, 3>& read);

}  // namespace orbelune
