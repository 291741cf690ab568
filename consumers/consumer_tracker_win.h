// The agent's hold on the consumer list: refreshed from the supervision loop on every pass,
// at most once a second, into the consumers block the virtual camera created.
#pragma once

#include <cstdint>
#include <span>

#include "common/section_win.h"
#include "consumers/app_identity.h"
#include "consumers/consumer_record.h"

namespace orbelune {

// Lives as long as the agent. Once the section is mapped it stays mapped.
struct ConsumerTracker {
    std::uint64_t lastRefreshTick = 0;  // GetTickCount64 at the start of the last refresh
    DisplayNameCache displayNames;
    MappedSection section;
};

// Call once per pass. `consumerActive`: the control block is valid and its consumer heartbeat
// is fresh. `referenceTick`: its consumerStartTick as stored, 0 when the block is not valid.
// At most once per kRefreshIntervalMs: scans the consent store while a consumer is active,
// orders the list by nearness to the consumer's start, and writes it into the consumers block;
// with no consumer active it writes an empty list.
void RefreshConsumers(ConsumerTracker& tracker, bool consumerActive,
                      std::uint64_t referenceTick) noexcept;

// The system time as one FILETIME value (100 ns units since 1601-01-01 UTC), as consent-store
// times are kept.
std::uint64_t SystemTimeAsFiletime() noexcept;

// Opens the consumers block if it is not mapped yet ("Global\" name, then "Local\") and writes
// the first kMaxConsumers records into it. Writes nothing when no section can be mapped or its
// magic or version is not the expected one; the next refresh tries again.
void WriteConsumersBlock(ConsumerTracker& tracker,
                         std::span<const ConsumerRecord> records) noexcept;

}  // namespace orbelune
