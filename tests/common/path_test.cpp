#include "common/path.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(PathTest, FolderJoinAndDecimal) {
    static const struct {
        std::u16string_view path, folder;
    } kCases[] = {
        {u"C:\\agent.exe", u"C:\\"},
        {u"C:\\\\agent.exe", u"C:\\"},
        {u"C:\\Agent\\\\a.exe", u"C:\\Agent"},
        {u"C:/Agent/a.exe", u"C:/Agent"},
        {u"C:\\Agent\\", u"C:\\Agent"},
        {u"\\agent.exe", u"\\"},
        {u"\\\\srv\\share\\a.exe", u"\\\\srv\\share"},
        {u"agent.exe", u""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FolderOfPath(c.path), c.folder) << std::string(c.path.begin(), c.path.end());
    }
    EXPECT_EQ(JoinPath(u"C:\\Agent", u"x.exe"), u"C:\\Agent\\x.exe");
    EXPECT_EQ(JoinPath(u"", u"x.exe"), u"x.exe");
    EXPECT_EQ(DecimalText(0LL), u"0");
    EXPECT_EQ(DecimalText(-9223372036854775807LL - 1), u"-9223372036854775808");
    EXPECT_EQ(DecimalText(18446744073709551615ULL), u"18446744073709551615");
}

}  // namespace
}  // namespace orbelune
