// QuoteArgument and BuildProducerCommandLine on any arguments: no sanitizer report, sizes that
// follow from the quoting rule, and a line that the producer splits back into the very
// arguments whenever none of them holds a backslash (which the builder copies as it is).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/producer.h"
#include "fuzz/windows_argv.h"
#include "fuzz/fuzz_support.h"

namespace {

using orbelune::fuzz::SplitWindowsCommandLine;

// Mostly the characters that quoting is about, now and then any UTF-16 unit.
std::u16string ConsumeArgument(FuzzedDataProvider& data) {
    static constexpr char16_t kInteresting[] = {u'"', u'\\', u' ', u'\t', u'a', u'-', u'\u00e9'};
    std::u16string argument;
    const size_t length = data.ConsumeIntegralInRange<size_t>(0, 40);
    for (size_t i = 0; i < length && data.remaining_bytes() > 0; ++i) {
        const auto pick = data.ConsumeIntegral<std::uint8_t>();
        argument += pick < 0xE0 ? kInteresting[pick % std::size(kInteresting)]
                                : data.ConsumeIntegral<char16_t>();
    }
    return argument;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::vector<std::u16string> arguments(data.ConsumeIntegralInRange<size_t>(0, 9));
    for (std::u16string& argument : arguments) {
        argument = ConsumeArgument(data);
    }

    size_t expected = arguments.empty() ? 0 : arguments.size() - 1;
    for (const std::u16string& argument : arguments) {
        const std::u16string quoted = orbelune::QuoteArgument(argument);
        const size_t quotes =
            static_cast<size_t>(std::count(argument.begin(), argument.end(), u'"'));
        Require(quoted.size() == argument.size() + 2 + quotes);
        Require(quoted.front() == u'"' && quoted.back() == u'"');
        expected += quoted.size();
    }
    const std::u16string line = orbelune::BuildProducerCommandLine(arguments);
    Require(line.size() == expected);

    const auto plain = [](const std::u16string& argument) {
        return argument.find_first_of(std::u16string_view(u"\\\0", 2)) == std::u16string::npos;
    };
    // The program name is read up to the next quote without escapes; a real path has none.
    if (!arguments.empty() && std::all_of(arguments.begin(), arguments.end(), plain) &&
        arguments[0].find(u'"') == std::u16string::npos) {
        Require(SplitWindowsCommandLine(line) == arguments);
    }
    return 0;
}
