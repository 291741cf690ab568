#include "log/log.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(LogTest, LineBytes) {
    std::tm time = {};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 4;
    time.tm_hour = 9;
    time.tm_min = 1;
    time.tm_sec = 5;
    static const struct {
        std::u16string_view message;
        std::string_view bytes;
    } kCases[] = {
        {u"agent starting", "2026-12-04 09:01:05 agent starting\r\n"},
        {u"", "2026-12-04 09:01:05 \r\n"},
        {u"a\nb\r", "2026-12-04 09:01:05 a\r\nb\r\r\n"},
        {u"caf\u00e9 \u00ff\u0080", "2026-12-04 09:01:05 caf\xe9 \xff\x80\r\n"},
        // Above U+00FF: one '?' per code unit, the surrogate pair of U+1F600 giving two.
        {u"\u0100x\u20ac\U0001F600.", "2026-12-04 09:01:05 ?x???.\r\n"},
        {std::u16string_view(u"a\0b", 3), std::string_view("2026-12-04 09:01:05 a\0b\r\n", 25)},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatLogLine(time, c.message), c.bytes);
    }
    EXPECT_EQ(LogFilePath(u"C:\\ProgramData"), u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log");
    EXPECT_EQ(LogFilePath(u"C:\\Temp\\"), u"C:\\Temp\\Orbelune\\Logs\\vcam-agent.log");
}

}  // namespace
}  // namespace orbelune
