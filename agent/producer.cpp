#include "agent/producer.h"

#include "common/text.h"

namespace orbelune {

std::u16string QuoteArgument(std::u16string_view argument) {
    std::u16string quoted;
    quoted.reserve(argument.size() + 2);
    quoted += u'"';
    for (const char16_t c : argument) {
        if (c == u'"') {
            quoted += u'\\';
        }
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

std::u16string BuildProducerCommandLine(std::span<const std::u16string> arguments) {
    std::u16string line;
    for (const std::u16string& argument : arguments) {
        if (!line.empty()) {
            line += u' ';
        }
        line += QuoteArgument(argument);
    }
    return line;
}

std::vector<std::u16string> ProducerArguments(std::u16string_view producerExe,
                                              std::u16string_view provider,
                                              std::int32_t cameraIndex,
                                              std::u16string_view repoRoot) {
    return {std::u16string(producerExe),
            u"--camera",
            u"--no-mirror",
            u"--provider",
            std::u16string(provider),
            u"--camera-index",
            DecimalText(static_cast<long long>(cameraIndex)),
            u"--repo-root",
            std::u16string(repoRoot)};
}

}  // namespace orbelune
