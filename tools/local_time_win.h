// Local times for the tools that show the consumers block, converted by Windows' time-zone
// rules so that the portable report never reads the zone itself.
#pragma once

#include <cstdint>
#include <optional>

#include "tools/status_report.h"

namespace orbelune {

// `filetime` (UTC) in local time by the time zone's rules for that date, with its offset from
// UTC; nothing when Windows cannot convert it.
std::optional<LocalTime> LocalTimeOf(std::uint64_t filetime);

// Fills in the local start time of every slot of a block that was read.
void FillLocalStartTimes(PublishedBlockFacts<ConsumersReading>& block);

}  // namespace orbelune
