#include "agent/producer.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(ProducerTest, QuotedArguments) {
    static const struct {
        std::u16string_view argument, quoted;
    } kCases[] = {
        {u"", u"\"\""},
        {u"a\"b", u"\"a\\\"b\""},              // six characters: " a \ " b "
        {u"C:\\Agent\\", u"\"C:\\Agent\\\""},  // the trailing backslash is not doubled
        {u"\\\\server\\\" x", u"\"\\\\server\\\\\" x\""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(QuoteArgument(c.argument), c.quoted);
    }
}

TEST(ProducerTest, CommandLineAndLines) {
    EXPECT_EQ(BuildProducerCommandLine(
                  ProducerArguments(u"C:\\Agent\\p.exe", u"directml", 0, u"C:\\Agent")),
              u"\"C:\\Agent\\p.exe\" \"--camera\" \"--no-mirror\" \"--provider\" \"directml\" "
              u"\"--camera-index\" \"0\" \"--repo-root\" \"C:\\Agent\"");
    EXPECT_EQ(BuildProducerCommandLine(ProducerArguments(u"", u"", -2147483647 - 1, u"r\\")),
              u"\"\" \"--camera\" \"--no-mirror\" \"--provider\" \"\" \"--camera-index\" "
              u"\"-2147483648\" \"--repo-root\" \"r\\\"");
    EXPECT_EQ(ProducerStartedLine(-1, u""), u"producer started (camera-index=-1 provider=)");
    EXPECT_EQ(ProducerStartedLine(12, u"a\"b"),
              u"producer started (camera-index=12 provider=a\"b)");

    static const struct {
        std::uint32_t code;
        std::u16string_view message, text;
    } kErrors[] = {
        {2, u"The system cannot find the file specified.\r\n",
         u"2 (The system cannot find the file specified.)"},
        {5, u"Access is denied. \r\n \n", u"5 (Access is denied.)"},
        {4294967295u, u"", u"4294967295"},
        {13, u" \r\n", u"13"},
        {193, u" %1 kept\tat the start", u"193 ( %1 kept\tat the start)"},
    };
    for (const auto& c : kErrors) {
        EXPECT_EQ(SystemErrorText(c.code, c.message), c.text);
    }
}

}  // namespace
}  // namespace orbelune
