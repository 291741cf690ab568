#include "log/log.h"

#include <gtest/gtest.h>

#include "log/log_lines.h"

namespace orbelune {
namespace {

TEST(LogTest, LineBytesAndPlace) {
    std::tm time = {};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 4;
    time.tm_hour = 9;
    const std::string stamp = "2026-12-04 09:00:00 ";
    EXPECT_EQ(FormatLogLine(time, u""), stamp + "\r\n");
    // LF becomes CRLF, a lone CR stays; up to U+00FF a unit is its byte, above it '?' per unit.
    EXPECT_EQ(FormatLogLine(time, u"a\nb\rcaf\u00e9\u00ff\u0100\U0001F600."),
              stamp + "a\r\nb\rcaf\xe9\xff???.\r\n");
    EXPECT_EQ(FormatLogLine(time, std::u16string_view(u"a\0b", 3)),
              stamp + std::string("a\0b\r\n", 5));
    EXPECT_EQ(ProducerStartedLine(-1, u"a b"), u"producer started (camera-index=-1 provider=a b)");
    EXPECT_EQ(
        PublishedLine(2) + IdleStopLine(1000),
        u"published 2 native camera capability tuple(s)no demand for 1000 ms; stopping producer");
    // A line taken apart gives back the time and the message's bytes; anything else, nothing.
    const auto parts = ParseLogLine("2026-12-04 09:07:05 caf\xe9");
    ASSERT_TRUE(parts);
    EXPECT_EQ(FormatLogLine(parts->time, u"caf\u00e9"), "2026-12-04 09:07:05 caf\xe9\r\n");
    EXPECT_EQ(parts->message, "caf\xe9");
    for (const char* bad :
         {"2026-12-04 09:07:05", "2026-12-04T09:07:05 x", "2026-12-4 09:07:05 "}) {
        EXPECT_FALSE(ParseLogLine(bad)) << bad;
    }
    EXPECT_EQ(LogFilePath(u"C:\\ProgramData"), u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log");
    // The base folder is the first candidate found, even a known folder found empty.
    EXPECT_EQ(ChooseLogBaseFolder(u"", u"D:\\Data", u"C:\\Temp"), u"");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, u"D:\\Data", u"C:\\Temp"), u"D:\\Data");
    EXPECT_EQ(ChooseLogBaseFolder(std::nullopt, std::nullopt, u"C:\\Temp"), u"C:\\Temp");
}

}  // namespace
}  // namespace orbelune
