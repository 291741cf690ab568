// Local times for the tools, on the clock the agent's log lines carry (the C runtime's local
// time), so that every time the tools show or compare stands beside the log's own.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "orbelune/vcam_snapshot.h"

namespace orbelune {

// `filetime` (UTC) as local milliseconds, counted as LocalSeconds counts; nothing before 1970 or
// where the C runtime cannot convert it.
std::optional<std::int64_t> LocalMsOf(std::uint64_t filetime);

// The local start time of every consumer of a snapshot.
std::vector<std::optional<std::int64_t>> LocalStartTimes(const vcam::ConsumersSnapshot& snapshot);

}  // namespace orbelune
