// Local times for the tools, on the clock the agent's log lines carry (the C runtime's local
// time), so that every time the tools show or compare stands beside the log's own.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "tools/report/block_report.h"

namespace orbelune {

// `filetime` (UTC) as local time; nothing before 1970 or where the C runtime cannot convert it.
inline std::optional<std::tm> LocalTimeOf(std::uint64_t filetime) {
    const auto seconds = static_cast<__time64_t>((filetime - kUnixEpochFiletime) / 10'000'000);
    std::tm local = {};
    if (filetime < kUnixEpochFiletime || _localtime64_s(&local, &seconds) != 0) {
        return std::nullopt;
    }
    return local;
}

// The local start time of every consumer of a snapshot.
inline std::vector<std::optional<std::tm>> LocalStartTimes(
    const vcam::ConsumersSnapshot& snapshot) {
    std::vector<std::optional<std::tm>> times;
    for (std::uint32_t i = 0; i < snapshot.count && i < vcam::kMaxConsumers; ++i) {
        times.push_back(LocalTimeOf(snapshot.consumers[i].lastUsedStart));
    }
    return times;
}

}  // namespace orbelune
