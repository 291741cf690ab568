#include "log/log_access.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

using Kind = LogPathKind;
using Fault = LogAccessFault;

LogPathSecurity Dacl(std::vector<AccessEntry> entries) {
    return {false, 1, false, entries};
}

TEST(LogAccessTest, JudgesWhetherEverySignedInUserCanAppend) {
    // Flags: 0x01 object inherit, 0x02 container inherit, 0x08 inherit only, 0x10 inherited.
    // Folder security as the agent's grants it, and the log file a user's agent creates there.
    const std::vector<AccessEntry> folder = {{true, "S-1-5-18", 0x1F01FF, 0x03},
                                             {true, "S-1-5-4", 0x1200AF, 0x00},
                                             {true, "S-1-5-4", 0x12008D, 0x09},
                                             {true, "S-1-3-4", 0x20000, 0x03}};
    const std::vector<AccessEntry> file = {{true, "S-1-5-4", 0x12008D, 0x10}};
    // A folder a user made first under ProgramData, and the log their agent made in it: the
    // creator-owner grant is theirs alone, and Users only read.
    const std::vector<AccessEntry> userFolder = {{true, "S-1-3-0", 0x10000000, 0x1B},
                                                 {true, "S-1-5-32-545", 0x1200A9, 0x13},
                                                 {true, "S-1-5-32-545", 0x116, 0x12}};
    const AccessEntry denyAppend{false, "S-1-1-0", 0x4, 0x00};
    const struct {
        Kind kind;
        LogPathSecurity security;
        std::optional<Fault> fault;
    } kCases[] = {
        {Kind::kLogFolder, Dacl(folder), std::nullopt},
        {Kind::kLogFile, Dacl(file), std::nullopt},
        {Kind::kLogFolder, Dacl(userFolder), Fault::kFilesNotShared},
        {Kind::kLogFile,
         Dacl({{true, "S-1-5-21-1-2-3-1001", 0x1F01FF, 0x10},
               {true, "S-1-5-32-545", 0x1200A9, 0x10}}),
         Fault::kCannotAppend},
        {Kind::kDataFolder, Dacl(userFolder), std::nullopt},
        {Kind::kLogFolder, {false, 1, true, {}}, std::nullopt},  // no DACL
        {Kind::kLogFolder, Dacl({}), Fault::kCannotCreateFile},
        {Kind::kLogFolder, Dacl({{true, "S-1-5-4", 0x1200AF, 0x0A}}), Fault::kCannotCreateFile},
        {Kind::kLogFile, Dacl({{true, "S-1-5-4", 0x4, 0x00}}), Fault::kCannotAppend},
        {Kind::kLogFile, Dacl({{true, "S-1-1-0", 0x40000000, 0x00}}), std::nullopt},
        {Kind::kLogFile, Dacl({{true, "S-1-5-11", 0x10000000, 0x00}}), std::nullopt},
        {Kind::kLogFile, Dacl({{true, "S-1-3-4", 0x1F01FF, 0x00}}), Fault::kCannotAppend},
        // A deny before a grant wins; after it, it comes too late; for one user, it is theirs.
        {Kind::kLogFile, Dacl({denyAppend, file[0]}), Fault::kCannotAppend},
        {Kind::kLogFile, Dacl({file[0], denyAppend}), std::nullopt},
        {Kind::kLogFile, Dacl({{false, "S-1-5-21-1-2-3-1001", 0x1F01FF, 0x00}, file[0]}),
         std::nullopt},
        {Kind::kLogFolder, Dacl({{false, "S-1-5-32-545", 0x4, 0x09}, folder[1], folder[2]}),
         Fault::kFilesNotShared},
        {Kind::kDataFolder, {true, 1, false, folder}, Fault::kRedirected},
        {Kind::kLogFile, {false, 2, false, file}, Fault::kRedirected},
        {Kind::kLogFolder, {false, 2, false, folder}, std::nullopt},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(JudgeLogPath(c.kind, c.security), c.fault) << &c - kCases;
    }

    const std::u16string_view path = u"C:\\Data's\\Logs", sddl = u"D:P(A;;FA;;;SY)";
    EXPECT_EQ(LogAccessMend(path, Kind::kLogFolder, Fault::kFilesNotShared, sddl),
              u"powershell -NoProfile -Command \"$s = New-Object "
              u"Security.AccessControl.DirectorySecurity; $s.SetSecurityDescriptorSddlForm("
              u"'D:P(A;;FA;;;SY)', 'Access'); (Get-Item -LiteralPath 'C:\\Data''s\\Logs')"
              u".SetAccessControl($s)\"");
    EXPECT_EQ(LogAccessMend(path, Kind::kLogFile, Fault::kCannotAppend, sddl),
              u"icacls \"C:\\Data's\\Logs\" /reset");
    EXPECT_EQ(LogAccessMend(path, Kind::kDataFolder, Fault::kRedirected, sddl),
              u"rmdir \"C:\\Data's\\Logs\"");
    EXPECT_EQ(LogAccessMend(path, Kind::kLogFile, Fault::kRedirected, sddl),
              u"del \"C:\\Data's\\Logs\"");
}

}  // namespace
}  // namespace orbelune
