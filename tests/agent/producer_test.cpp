#include "agent/producer.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(ProducerTest, QuoteArgument) {
    static const struct {
        std::u16string_view argument, quoted;
    } kCases[] = {
        {u"", u"\"\""},
        {u"directml", u"\"directml\""},
        {u"a\"b", u"\"a\\\"b\""},              // six characters: " a \ " b "
        {u"C:\\Agent\\", u"\"C:\\Agent\\\""},  // the trailing backslash is not doubled
        {u"with space", u"\"with space\""},
        {u"\\\\server\\\"", u"\"\\\\server\\\\\"\""},
        {u"caf\u00e9 \u20ac", u"\"caf\u00e9 \u20ac\""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(QuoteArgument(c.argument), c.quoted);
    }
    EXPECT_EQ(QuoteArgument(u"a\"b").size(), 6u);
}

TEST(ProducerTest, CommandLine) {
    static const struct {
        std::u16string_view exe, provider;
        std::int32_t index;
        std::u16string_view root, line;
    } kCases[] = {
        {u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe", u"directml", 0, u"C:\\Agent",
         u"\"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe\" \"--camera\" \"--no-mirror\" "
         u"\"--provider\" \"directml\" \"--camera-index\" \"0\" \"--repo-root\" \"C:\\Agent\""},
        {u"p.exe", u"", -1, u"C:\\Agent\\",
         u"\"p.exe\" \"--camera\" \"--no-mirror\" \"--provider\" \"\" \"--camera-index\" \"-1\" "
         u"\"--repo-root\" \"C:\\Agent\\\""},
        {u"", u"a\"b", -2147483647 - 1, u"",
         u"\"\" \"--camera\" \"--no-mirror\" \"--provider\" \"a\\\"b\" \"--camera-index\" "
         u"\"-2147483648\" \"--repo-root\" \"\""},
        {u"x", u"cuda", 12, u"r",
         u"\"x\" \"--camera\" \"--no-mirror\" \"--provider\" \"cuda\" \"--camera-index\" \"12\" "
         u"\"--repo-root\" \"r\""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(BuildProducerCommandLine(ProducerArguments(c.exe, c.provider, c.index, c.root)),
                  c.line);
    }
    EXPECT_EQ(BuildProducerCommandLine({}), u"");
}

TEST(ProducerTest, Lines) {
    EXPECT_EQ(ProducerStartedLine(0, u"directml"),
              u"producer started (camera-index=0 provider=directml)");
    EXPECT_EQ(ProducerStartedLine(-1, u""), u"producer started (camera-index=-1 provider=)");
    EXPECT_EQ(ProducerStartedLine(3, u"a\"b"), u"producer started (camera-index=3 provider=a\"b)");

    static const struct {
        std::uint32_t code;
        std::u16string_view message, text;
    } kCases[] = {
        {2, u"The system cannot find the file specified.\r\n",
         u"2 (The system cannot find the file specified.)"},
        {5, u"Access is denied. \r\n \n", u"5 (Access is denied.)"},
        {4294967295u, u"", u"4294967295"},
        {13, u" \r\n", u"13"},
        {193, u"  not %1 trimmed at the start", u"193 (  not %1 trimmed at the start)"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SystemErrorText(c.code, c.message), c.text);
    }
}

}  // namespace
}  // namespace orbelune
