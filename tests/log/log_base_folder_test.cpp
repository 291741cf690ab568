// Which candidate becomes the log's base folder: the first one found, even an empty one.
#include <gtest/gtest.h>

#include "log/log.h"

namespace orbelune {

TEST(LogBaseFolderTest, FirstFoundCandidateWins) {
    const struct {
        std::optional<std::u16string> known, environment, temporary, expected;
    } kCases[] = {
        {u"", u"D:\\Data", u"C:\\Temp", u""},  // the lookup succeeded with an empty path
        {std::nullopt, u"D:\\Data", u"C:\\Temp", u"D:\\Data"},
        {std::nullopt, std::nullopt, u"C:\\Temp", u"C:\\Temp"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ChooseLogBaseFolder(c.known, c.environment, c.temporary), c.expected);
    }
}

}  // namespace orbelune
