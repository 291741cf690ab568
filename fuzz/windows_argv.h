// How a Windows program splits its command line into arguments (CommandLineToArgvW, and the
// C runtime's rules for every argument after the first), as the oracle of the command-line
// fuzz target. The Windows test suite checks it against the real CommandLineToArgvW.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orbelune::fuzz {

inline bool IsArgumentSpace(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The line is read up to its first NUL, as the system reads it.
inline std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view line) {
    line = line.substr(0, line.find(u'\0'));
    std::vector<std::u16string> arguments;
    size_t i = 0;

    // The program name: up to the next quote when it starts with one, else up to the first
    // space or tab. Backslashes are plain characters in it.
    std::u16string program;
    if (i < line.size() && line[i] == u'"') {
        ++i;
        while (i < line.size() && line[i] != u'"') {
            program += line[i++];
        }
        if (i < line.size()) {
            ++i;  // the closing quote
        }
    } else {
        while (i < line.size() && !IsArgumentSpace(line[i])) {
            program += line[i++];
        }
    }
    arguments.push_back(std::move(program));

    for (;;) {
        while (i < line.size() && IsArgumentSpace(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            return arguments;
        }
        std::u16string argument;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsArgumentSpace(line[i]))) {
            if (line[i] == u'\\') {
                size_t backslashes = 0;
                while (i < line.size() && line[i] == u'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < line.size() && line[i] == u'"') {
                    // 2n backslashes and a quote: n backslashes, and the quote is special.
                    // 2n+1 backslashes and a quote: n backslashes and a literal quote.
                    argument.append(backslashes / 2, u'\\');
                    if (backslashes % 2 == 1) {
                        argument += u'"';
                        ++i;
                    }
                } else {
                    argument.append(backslashes, u'\\');
                }
                continue;
            }
            if (line[i] == u'"') {
                // Inside quotes, a doubled quote is one literal quote, and quoting ends there
                // (the shell's rule; the C runtime since 2008 would keep quoting).
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    argument += u'"';
                    quoted = false;
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument += line[i++];
        }
        arguments.push_back(std::move(argument));
    }
}

}  // namespace orbelune::fuzz
