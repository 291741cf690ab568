#include "log/log.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

std::tm At(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(LogTest, LineBytes) {
    static const struct {
        std::tm time;
        std::u16string_view message;
        std::string_view bytes;
    } kCases[] = {
        {At(2026, 12, 4, 12, 21, 53), u"agent starting", "2026-12-04 12:21:53 agent starting\r\n"},
        {At(2027, 1, 2, 3, 4, 5), u"", "2027-01-02 03:04:05 \r\n"},
        {At(2026, 6, 30, 23, 59, 59), u"a\nb", "2026-06-30 23:59:59 a\r\nb\r\n"},
        {At(2026, 6, 30, 0, 0, 0), u"r\r", "2026-06-30 00:00:00 r\r\r\n"},
        {At(2026, 6, 30, 0, 0, 0), u"caf\u00e9 \u00ff\u0080",
         "2026-06-30 00:00:00 caf\xe9 \xff\x80\r\n"},
        // Above U+00FF: one '?' per code unit, the surrogate pair of U+1F600 giving two.
        {At(2026, 6, 30, 0, 0, 0), u"\u0100x\u20ac\U0001F600.", "2026-06-30 00:00:00 ?x???.\r\n"},
        {At(2026, 6, 30, 0, 0, 0), std::u16string_view(u"a\0b", 3),
         std::string_view("2026-06-30 00:00:00 a\0b\r\n", 25)},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatLogLine(c.time, c.message), c.bytes);
    }
}

TEST(LogTest, FilePath) {
    EXPECT_EQ(LogFilePath(u"C:\\ProgramData"), u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log");
    EXPECT_EQ(LogFilePath(u"C:\\Users\\u\\Temp\\"),
              u"C:\\Users\\u\\Temp\\Orbelune\\Logs\\vcam-agent.log");
}

}  // namespace
}  // namespace orbelune
