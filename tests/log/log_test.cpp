#include "log/log.h"
#include "log/log_access.h"
#include "log/log_lines.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(LogTest, LineBytesAndPlace) {
    // A line taken apart gives back its time, and its message's bytes; anything else, nothing.
    const std::string stamp = "2026-12-04 09:07:05 ";
    const std::tm time = ParseLogLine(stamp).value().time;
    // LF becomes CRLF, a lone CR stays; up to U+00FF a unit is its byte, above it '?' per unit.
    EXPECT_EQ(FormatLogLine(time, u"a\nb\rcaf\u00e9\u00ff\u0100\U0001F600."),
              stamp + "a\r\nb\rcaf\xe9\xff???.\r\n");
    EXPECT_EQ(ParseLogLine("2026-12-04 09:07:05 caf\xe9").value().message, "caf\xe9");
    EXPECT_FALSE(ParseLogLine("2026-12-04T09:07:05 x") || ParseLogLine("2026-12-04 09:07:05") ||
                 ParseLogLine("2026-12-0x 09:07:05 x"));
    // The base folder is the first candidate found, even a known folder found empty.
    EXPECT_EQ(ChooseLogBaseFolder(u"", u"D:\\Data", u"C:\\Temp"), u"");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, u"D:\\Data", u"C:\\Temp"), u"D:\\Data");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, std::nullopt, u"C:\\Temp"), u"C:\\Temp");
}

using Kind = LogPathKind;
using Fault = LogAccessFault;

LogPathSecurity Dacl(const std::vector<AccessEntry>& entries) {
    return {false, 1, false, entries};
}

TEST(LogAccessTest, JudgesWhetherEverySignedInUserCanAppend) {
    // As the agent's folder and file grant (flags: 0x01 files inherit, 0x02 folders inherit,
    // 0x08 inherit only, 0x10 inherited).
    const std::vector<AccessEntry> folder = {{true, "S-1-5-18", 0x1F01FF, 0x03},
                                             {true, "S-1-5-4", 0x1200AF, 0x00},
                                             {true, "S-1-5-4", 0x12008D, 0x09},
                                             {true, "S-1-3-4", 0x20000, 0x03}};
    const std::vector<AccessEntry> file = {{true, "S-1-5-4", 0x12008D, 0x10}};
    // A folder a user made first under ProgramData: creator-owner is theirs, Users only read.
    const std::vector<AccessEntry> userFolder = {{true, "S-1-3-0", 0x10000000, 0x1B},
                                                 {true, "S-1-5-32-545", 0x1200A9, 0x13},
                                                 {true, "S-1-5-32-545", 0x116, 0x12}};
    const struct {
        Kind kind;
        LogPathSecurity security;
        std::optional<Fault> fault;
    } kCases[] = {
        {Kind::kLogFolder, {false, 1, true, {}}, std::nullopt},  // no DACL
        {Kind::kLogFolder, Dacl({{true, "S-1-5-4", 0x1200AF, 0x0A}}), Fault::kCannotCreateFile},
        {Kind::kLogFile, Dacl({{true, "S-1-5-4", 0x4, 0x00}}), Fault::kCannotAppend},
        // A deny before a grant wins; after it, it comes too late.
        {Kind::kLogFile, Dacl({{false, "S-1-1-0", 0x4, 0x00}, file[0]}), Fault::kCannotAppend},
        {Kind::kLogFile, Dacl({file[0], {false, "S-1-1-0", 0x4, 0x00}}), std::nullopt},
        {Kind::kLogFolder, Dacl({{false, "S-1-5-32-545", 0x4, 0x09}, folder[1], folder[2]}),
         Fault::kFilesNotShared},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(JudgeLogPath(c.kind, c.security), c.fault) << &c - kCases;
    }

    // The findings with their mends under a base folder; nothing below a path leading elsewhere.
    const std::u16string logs = u"C:\\Data's\\Orbelune\\Logs", log = logs + u"\\vcam-agent.log";
    const LogPathSecurity junction{true, 1, false, {}};
    EXPECT_EQ(JudgeLogAccess(u"C:\\Data's", {Dacl(userFolder), Dacl(userFolder), Dacl({})}),
              (std::vector<LogAccessFinding>{
                  {logs, Kind::kLogFolder, Fault::kFilesNotShared,
                   u"powershell -NoProfile -Command \"$s = New-Object "
                   u"Security.AccessControl.DirectorySecurity; $s.SetSecurityDescriptorSddlForm("
                   u"'D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;IU)(A;OIIO;0x12008d;;;IU)"
                   u"(A;OICI;RC;;;OW)', 'Access'); (Get-Item -LiteralPath "
                   u"'C:\\Data''s\\Orbelune\\Logs').SetAccessControl($s)\""},
                  {log, Kind::kLogFile, Fault::kCannotAppend, u"icacls \"" + log + u"\" /reset"}}));
    EXPECT_EQ(
        JudgeLogAccess(u"C:\\Data's", {junction, junction, Dacl({})}),
        (std::vector<LogAccessFinding>{{u"C:\\Data's\\Orbelune", Kind::kDataFolder,
                                        Fault::kRedirected, u"rmdir \"C:\\Data's\\Orbelune\""}}));
    EXPECT_EQ(
        JudgeLogAccess(u"C:\\Data's", {std::nullopt, Dacl(folder), {{false, 2, false, file}}}),
        (std::vector<LogAccessFinding>{
            {log, Kind::kLogFile, Fault::kRedirected, u"del \"" + log + u"\""}}));
}

}  // namespace
}  // namespace orbelune
