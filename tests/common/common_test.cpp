#include <gtest/gtest.h>

#include "common/path.h"
#include "common/text.h"

namespace orbelune {
namespace {

TEST(PathTest, FolderJoinAndFileName) {
    // A root keeps one separator; other folders lose all of theirs.
    EXPECT_EQ(FolderOfPath(u"C:\\\\agent.exe"), u"C:\\");
    EXPECT_EQ(FolderOfPath(u"\\agent.exe"), u"\\");
    EXPECT_EQ(FolderOfPath(u"C:/Agent\\/a.exe"), u"C:/Agent");
    EXPECT_EQ(JoinPath(u"C:\\Agent", u"x.exe"), u"C:\\Agent\\x.exe");
    EXPECT_EQ(FileNameOfPath(u"C:/Agent/sub\\p.exe"), u"p.exe");
}

TEST(TextTest, DecimalCaseUtf8AndLastLines) {
    EXPECT_EQ(DecimalText(0LL), u"0");
    EXPECT_EQ(DecimalText(-907LL), u"-907");
    EXPECT_EQ((std::u16string{ToUpperUnit(u'a'), ToUpperUnit(u'z'), ToUpperUnit(u'`'),
                              ToUpperUnit(u'{')}),
              u"AZ`{");
    EXPECT_EQ(ToUtf8(u"\U00010000a\u00e9\u20ac\U0010FFFF"),
              "\xF0\x90\x80\x80"
              "a\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF");
    EXPECT_EQ(ToUtf8(u"\xDFFFx\xD800\xD800\xDFFF\xDBFF"),  // unpaired halves
              "\xEF\xBF\xBDx\xEF\xBF\xBD\xF0\x90\x8F\xBF\xEF\xBF\xBD");
    EXPECT_EQ(Latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    // Back from UTF-8: every well-formed character, each byte of an ill-formed sequence as
    // U+FFFD (a stray continuation, an overlong form, a surrogate, one cut short at the end).
    EXPECT_EQ(Utf8ToU16(std::string("a\0\xC2\xA0\xE2\x82\xAC\xF4\x8F\xBF\xBF", 11)),
              std::u16string(u"a\0\u00a0\u20ac\U0010FFFF", 6));
    EXPECT_EQ(Utf8ToU16("\x80\xC0\xAF\xED\xA0\x80\xED\xBF\xBF\xF4\x90\x80\x80\xC3"),
              std::u16string(14, u'\xFFFD'));
    using Lines = std::vector<std::string>;
    EXPECT_EQ(LastLines(std::string("\r\n\n\0\0x\n", 7), 3), (Lines{"", "", "x"}));
}

}  // namespace
}  // namespace orbelune
