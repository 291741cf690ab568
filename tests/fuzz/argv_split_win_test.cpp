// The command-line fuzz target's oracle agrees with the system's own splitting.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "common/text_win.h"
#include "fuzz/windows_argv.h"

namespace orbelune {
namespace {

std::vector<std::u16string> SystemSplit(const std::u16string& line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(ToWide(line).c_str(), &count);
    std::vector<std::u16string> arguments;
    for (int i = 0; argv != nullptr && i < count; ++i) {
        arguments.push_back(ToU16(argv[i]));
    }
    LocalFree(argv);
    return arguments;
}

TEST(ArgvSplitTest, AgreesWithCommandLineToArgvW) {
    static const std::u16string_view kLines[] = {
        u"p.exe",
        u"\"C:\\Program Files\\p.exe\" a b",
        u"\"C:\\a\\\" next",  // backslashes are plain in the program name
        u"p \"a b\" c\td",
        u"p \"\" \"\"",
        u"p \"a\\\"b\"",
        u"p \"a\\\\\" b",
        u"p \"a\\\\\\\"b\"",
        u"p a\\\\b c\\",
        u"p \"a\"\"b\" c",
        u"p \"a\"\"\" c",
        u"p a\"b c\"d",
        u"p \"unterminated",
        u"p   lots   of   space  ",
        u"\"\" \"--camera\" \"--provider\" \"a\\\"b\"",
        u"\"x.exe\" \"caf\u00e9 \u20ac\" \"\\\"\"",
    };
    for (const std::u16string_view line : kLines) {
        const std::u16string text(line);
        EXPECT_EQ(fuzz::SplitWindowsCommandLine(text), SystemSplit(text))
            << std::string(text.begin(), text.end());
    }
}

}  // namespace
}  // namespace orbelune
