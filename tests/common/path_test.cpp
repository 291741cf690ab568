#include "common/path.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(PathTest, FolderOfPath) {
    static const struct {
        std::u16string_view path;
        std::u16string_view folder;
    } kCases[] = {
        {u"C:\\agent.exe", u"C:\\"},
        {u"C:\\Agent\\orbelune_vcam_agent.exe", u"C:\\Agent"},
        {u"C:\\Agent\\\\agent.exe", u"C:\\Agent"},
        {u"C:\\\\agent.exe", u"C:\\"},
        {u"C:/Agent/agent.exe", u"C:/Agent"},
        {u"C:\\Agent\\", u"C:\\Agent"},
        {u"\\agent.exe", u"\\"},
        {u"\\\\server\\share\\agent.exe", u"\\\\server\\share"},
        {u"agent.exe", u""},
        {u"", u""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FolderOfPath(c.path), c.folder) << std::string(c.path.begin(), c.path.end());
    }
}

TEST(PathTest, JoinPath) {
    static const struct {
        std::u16string_view left;
        std::u16string_view name;
        std::u16string_view joined;
    } kCases[] = {
        {u"C:\\", u"x.exe", u"C:\\x.exe"},
        {u"C:\\Agent", u"x.exe", u"C:\\Agent\\x.exe"},
        {u"C:\\Agent\\", u"x.exe", u"C:\\Agent\\x.exe"},
        {u"C:/Agent/", u"x.exe", u"C:/Agent/x.exe"},
        {u"", u"x.exe", u"x.exe"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(JoinPath(c.left, c.name), c.joined);
    }
}

TEST(PathTest, DecimalText) {
    EXPECT_EQ(DecimalText(0LL), u"0");
    EXPECT_EQ(DecimalText(-1LL), u"-1");
    EXPECT_EQ(DecimalText(-2147483648LL), u"-2147483648");
    EXPECT_EQ(DecimalText(4294967295ULL), u"4294967295");
    EXPECT_EQ(DecimalText(18446744073709551615ULL), u"18446744073709551615");
}

}  // namespace
}  // namespace orbelune
