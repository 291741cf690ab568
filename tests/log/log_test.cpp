#include "log/log.h"
#include "log/log_lines.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(LogTest, LineBytesAndPlace) {
    // A line taken apart gives back its time, and its message's bytes; anything else, nothing.
    const std::string stamp = "2026-12-04 09:07:05 ";
    const std::tm time = ParseLogLine(stamp).value().time;
    EXPECT_EQ(FormatLogLine(time, u""), stamp + "\r\n");
    // LF becomes CRLF, a lone CR stays; up to U+00FF a unit is its byte, above it '?' per unit.
    EXPECT_EQ(FormatLogLine(time, u"a\nb\rcaf\u00e9\u00ff\u0100\U0001F600."),
              stamp + "a\r\nb\rcaf\xe9\xff???.\r\n");
    EXPECT_EQ(FormatLogLine(time, std::u16string_view(u"a\0b", 3)),
              stamp + std::string("a\0b\r\n", 5));
    EXPECT_EQ(ProducerStartedLine(-1, u"a b"), u"producer started (camera-index=-1 provider=a b)");
    EXPECT_EQ(ParseLogLine("2026-12-04 09:07:05 caf\xe9").value().message, "caf\xe9");
    EXPECT_FALSE(ParseLogLine("2026-12-04T09:07:05 x") || ParseLogLine("2026-12-04 09:07:05") ||
                 ParseLogLine("2026-12-0x 09:07:05 x"));
    EXPECT_EQ(LogFilePath(u"C:\\ProgramData"), u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log");
    // The base folder is the first candidate found, even a known folder found empty.
    EXPECT_EQ(ChooseLogBaseFolder(u"", u"D:\\Data", u"C:\\Temp"), u"");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, u"D:\\Data", u"C:\\Temp"), u"D:\\Data");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, std::nullopt, u"C:\\Temp"), u"C:\\Temp");
}

}  // namespace
}  // namespace orbelune
