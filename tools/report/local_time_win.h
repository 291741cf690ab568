// Local times for the tools that show the consumers block, converted by Windows' time-zone
// rules so that the portable report never reads the zone itself.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/report/block_report.h"

namespace orbelune {

// `filetime` (UTC) in local time by the time zone's rules for that date, with its offset from
// UTC; nothing when Windows cannot convert it.
std::optional<LocalTime> LocalTimeOf(std::uint64_t filetime);

// The local start time of every consumer of a snapshot.
std::vector<std::optional<LocalTime>> LocalStartTimes(const vcam::ConsumersSnapshot& snapshot);

}  // namespace orbelune
