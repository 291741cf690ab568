// The consumer list as published to the virtual camera: ordering, the once-a-second rhythm,
// and the records as the consumers block's slots hold them. The block itself, its writer and
// its reader belong to the contract with the virtual camera.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "consumers/consumer_record.h"
#include "orbelune/vcam_agent.h"

namespace orbelune {

// A rescan and rewrite happens at most once per this many milliseconds.
inline constexpr std::uint64_t kRefreshIntervalMs = 1000;
// The number of slots; a longer list is cut after ordering.
using vcam::kMaxConsumers;

// Whether a refresh is due at `now`, the last one having run at `lastRefreshTick` (both
// GetTickCount64 milliseconds).
bool IsRefreshDue(std::uint64_t now, std::uint64_t lastRefreshTick);

// The moment the current consumer started, as a FILETIME: the system time `systemTime` (a
// FILETIME read at tick `now`) moved back by the age of `referenceTick`. 0, meaning none, when
// `referenceTick` is 0 or later than `now`.
std::uint64_t ReferenceTime(std::uint64_t now, std::uint64_t referenceTick,
                            std::uint64_t systemTime);

// Orders the records so that the one whose use started nearest to `referenceTime` (before or
// after it) comes first; with no reference time (0), the most recent start first. Records with
// equal keys keep their order.
void SortConsumers(std::span<ConsumerRecord> records, std::uint64_t referenceTime);

// One byte per UTF-16 unit: the unit itself below 0x80, '?' otherwise (each half of a
// surrogate pair too).
std::string NarrowToAscii(std::u16string_view text);

// The first kMaxConsumers records as the block's slots hold them: the identity narrowed with
// NarrowToAscii, `packaged` as 1 or 0. The block's writer cuts the texts to their fields.
std::vector<vcam::ConsumerSlot> ConsumerSlots(std::span<const ConsumerRecord> records);

}  // namespace orbelune
