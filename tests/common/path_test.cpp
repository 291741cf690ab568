#include "common/path.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(PathTest, FolderJoinAndDecimal) {
    // A root keeps one separator; other folders lose all of theirs.
    EXPECT_EQ(FolderOfPath(u"C:\\\\agent.exe"), u"C:\\");
    EXPECT_EQ(FolderOfPath(u"\\agent.exe"), u"\\");
    EXPECT_EQ(FolderOfPath(u"C:/Agent\\/a.exe"), u"C:/Agent");
    EXPECT_EQ(FolderOfPath(u"C:\\Agent\\"), u"C:\\Agent");
    EXPECT_EQ(FolderOfPath(u"agent.exe"), u"");
    EXPECT_EQ(JoinPath(u"C:\\Agent", u"x.exe"), u"C:\\Agent\\x.exe");
    EXPECT_EQ(JoinPath(u"C:/", u"x.exe"), u"C:/x.exe");
    EXPECT_EQ(JoinPath(u"", u"x.exe"), u"x.exe");
    EXPECT_EQ(DecimalText(0LL), u"0");
    EXPECT_EQ(DecimalText(-907LL), u"-907");
}

}  // namespace
}  // namespace orbelune
