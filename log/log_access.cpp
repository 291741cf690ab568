#include "log/log_access.h"

#include <algorithm>
#include <array>

#include "common/path.h"
#include "log/log.h"

namespace orbelune {

namespace {

constexpr std::uint8_t kObjectInherit = 0x01;  // OBJECT_INHERIT_ACE: handed down to files
constexpr std::uint8_t kInheritOnly = 0x08;    // INHERIT_ONLY_ACE: not for the object itself

constexpr std::uint32_t kAddFile = 0x0002;     // FILE_ADD_FILE
constexpr std::uint32_t kAppendData = 0x0004;  // FILE_APPEND_DATA
// CreateFileW asks for SYNCHRONIZE beside the access it is given.
constexpr std::uint32_t kSynchronize = 0x00100000;

// The groups whose grants reach every signed-in user: Everyone, INTERACTIVE, Authenticated
// Users, Users.
constexpr std::array<std::string_view, 4> kEveryUser = {"S-1-1-0", "S-1-5-4", "S-1-5-11",
                                                        "S-1-5-32-545"};

// Generic rights as a file's or a folder's specific ones (FILE_GENERIC_READ and so on).
std::uint32_t FileRights(std::uint32_t mask) {
    static constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 4> kGeneric = {{
        {0x80000000u, 0x00120089u},  // GENERIC_READ
        {0x40000000u, 0x00120116u},  // GENERIC_WRITE
        {0x20000000u, 0x001200A0u},  // GENERIC_EXECUTE
        {0x10000000u, 0x001F01FFu},  // GENERIC_ALL
    }};
    for (const auto& [generic, specific] : kGeneric) {
        if ((mask & generic) != 0) {
            mask = (mask & ~generic) | specific;
        }
    }
    return mask;
}

// Whether the entries that `applies` selects, in their order, give every signed-in user all of
// `wanted`, as an access check walks them: an entry that denies a right not yet granted ends it.
template <typename Applies>
bool GrantsEveryUser(const LogPathSecurity& security, std::uint32_t wanted, Applies applies) {
    if (security.nullDacl) {
        return true;
    }
    std::uint32_t granted = 0;
    for (const AccessEntry& entry : security.dacl) {
        if (!applies(entry.flags) ||
            std::find(kEveryUser.begin(), kEveryUser.end(), entry.sid) == kEveryUser.end()) {
            continue;
        }
        const std::uint32_t rights = FileRights(entry.mask) & wanted & ~granted;
        if (!entry.allowed && rights != 0) {
            return false;
        }
        granted |= entry.allowed ? rights : 0;
        if (granted == wanted) {
            return true;
        }
    }
    return false;
}

bool ForItself(std::uint8_t flags) {
    return (flags & kInheritOnly) == 0;
}
bool ForNewFiles(std::uint8_t flags) {
    return (flags & kObjectInherit) != 0;
}

// `text` quoted for PowerShell: in single quotes, each one inside doubled.
std::u16string PowerShellQuoted(std::u16string_view text) {
    std::u16string quoted = u"'";
    for (const char16_t unit : text) {
        quoted.append(unit == u'\'' ? 2 : 1, unit);
    }
    quoted += u'\'';
    return quoted;
}

std::u16string Mend(std::u16string_view path, LogPathKind kind, LogAccessFault fault) {
    std::u16string quoted = u"\"";
    quoted.append(path).append(u"\"");
    if (fault == LogAccessFault::kRedirected) {
        // Both remove the name alone: rmdir a junction, not the folder it leads to; del one
        // name of a file, not the file's other names.
        return std::u16string(kind == LogPathKind::kLogFile ? u"del " : u"rmdir ") + quoted;
    }
    if (kind == LogPathKind::kLogFile) {
        return std::u16string(u"icacls ") + quoted + u" /reset";
    }
    // Only the DACL is set ("Access"), which the folder's owner and group keep.
    std::u16string command =
        u"powershell -NoProfile -Command \"$s = New-Object "
        u"Security.AccessControl.DirectorySecurity; $s.SetSecurityDescriptorSddlForm(";
    command.append(PowerShellQuoted(kLogFolderSecurity))
        .append(u", 'Access'); (Get-Item -LiteralPath ");
    command.append(PowerShellQuoted(path)).append(u").SetAccessControl($s)\"");
    return command;
}

}  // namespace

std::optional<LogAccessFault> JudgeLogPath(LogPathKind kind, const LogPathSecurity& security) {
    if (security.reparsePoint || (kind == LogPathKind::kLogFile && security.links > 1)) {
        return LogAccessFault::kRedirected;
    }
    if (!security.kept) {
        return std::nullopt;
    }
    switch (kind) {
        case LogPathKind::kDataFolder:
            return std::nullopt;
        case LogPathKind::kLogFolder:
            if (!GrantsEveryUser(security, kAddFile, ForItself)) {
                return LogAccessFault::kCannotCreateFile;
            }
            if (!GrantsEveryUser(security, kAppendData | kSynchronize, ForNewFiles)) {
                return LogAccessFault::kFilesNotShared;
            }
            return std::nullopt;
        case LogPathKind::kLogFile:
            if (!GrantsEveryUser(security, kAppendData | kSynchronize, ForItself)) {
                return LogAccessFault::kCannotAppend;
            }
            return std::nullopt;
    }
    return std::nullopt;
}

std::vector<LogAccessFinding> JudgeLogAccess(
    std::u16string_view baseFolder, const std::array<std::optional<LogPathSecurity>, 3>& read) {
    const std::u16string file = LogFilePath(baseFolder), logFolder = FolderOfPath(file);
    const std::array<std::u16string, 3> paths = {FolderOfPath(logFolder), logFolder, file};
    std::vector<LogAccessFinding> findings;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const auto kind = static_cast<LogPathKind>(i);
        const std::optional<LogAccessFault> fault =
            read[i] ? JudgeLogPath(kind, *read[i]) : std::nullopt;
        if (fault) {
            findings.push_back({paths[i], kind, *fault, Mend(paths[i], kind, *fault)});
            if (*fault == LogAccessFault::kRedirected) {
                break;
            }
        }
    }
    return findings;
}

}  // namespace orbelune
