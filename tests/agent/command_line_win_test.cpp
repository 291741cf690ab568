// The producer's command line as the producer reads it back: CommandLineToArgvW, whose rules
// the C runtime shares for every argument after the program's name.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "agent/producer.h"
#include "common/text_win.h"

namespace orbelune {
namespace {

std::vector<std::u16string> SplitBySystem(const std::u16string& line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(ToWide(line).c_str(), &count);
    std::vector<std::u16string> arguments;
    for (int i = 0; argv != nullptr && i < count; ++i) {
        arguments.push_back(ToU16(argv[i]));
    }
    LocalFree(argv);
    return arguments;
}

// Random arguments made of the characters quoting is about split back into exactly themselves,
// unless a backslash stands before a quote or at an argument's end: the quoting copies
// backslashes as they are, so there they escape the quote that follows.
TEST(CommandLineWinTest, SplitsBackIntoItsArguments) {
    static constexpr char16_t kCharacters[] = u"\" \ta-\u00e9\u20ac\\";
    std::mt19937 random(7);
    int checked = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::u16string> arguments(1 + random() % 9);
        bool plain = true;
        for (std::u16string& argument : arguments) {
            // The program's name is read up to the next quote, with no escapes: it gets none.
            const size_t first = &argument == &arguments.front() ? 1 : 0;
            for (size_t n = random() % 8; n > 0; --n) {
                argument += kCharacters[first + random() % (std::size(kCharacters) - 1 - first)];
            }
            plain = plain && argument.find(u"\\\"") == std::u16string::npos &&
                    !argument.ends_with(u'\\');
        }
        if (plain) {
            ++checked;
            const std::u16string line = BuildProducerCommandLine(arguments);
            EXPECT_EQ(SplitBySystem(line), arguments) << std::string(line.begin(), line.end());
        }
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
}  // namespace orbelune
