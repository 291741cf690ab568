// The producer's command line and the texts of its start, as pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbelune {

inline constexpr std::uint32_t kStopWaitMs = 3000;

// The argument in double quotes, each double quote inside written as \". Nothing else is
// escaped: backslashes are copied as they are, one before the closing quote included.
std::u16string QuoteArgument(std::u16string_view argument);

// The quoted arguments joined by single spaces.
std::u16string BuildProducerCommandLine(std::span<const std::u16string> arguments);

// The nine arguments of the producer, from paths already made absolute.
std::vector<std::u16string> ProducerArguments(std::u16string_view producerExe,
                                              std::u16string_view provider,
                                              std::int32_t cameraIndex,
                                              std::u16string_view repoRoot);

}  // namespace orbelune
