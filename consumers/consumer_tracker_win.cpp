#include "consumers/consumer_tracker_win.h"

#include <windows.h>

#include <vector>

#include "consumers/consent_store_win.h"
#include "consumers/consumers_block.h"

namespace orbelune {

std::uint64_t SystemTimeAsFiletime() noexcept {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void WriteConsumersBlock(ConsumerTracker& tracker,
                         std::span<const ConsumerRecord> records) noexcept {
    if (!OpenSharedSection(tracker.section, vcam::kConsumersSectionName,
                           vcam::kConsumersBlockSize)) {
        return;
    }
    const std::vector<vcam::ConsumerSlot> slots = ConsumerSlots(records);
    if (!vcam::WriteConsumerSlots(tracker.section.view.get(), tracker.section.size, slots.data(),
                                  slots.size())) {
        return;
    }
    // The clock is read once the slots and the count are stored, so that the update tick tells
    // when this list was in place.
    vcam::StampConsumersUpdate(tracker.section.view.get(), GetTickCount64());
}

void RefreshConsumers(ConsumerTracker& tracker, bool consumerActive,
                      std::uint64_t referenceTick) noexcept {
    const std::uint64_t now = GetTickCount64();
    if (!IsRefreshDue(now, tracker.lastRefreshTick)) {
        return;
    }
    tracker.lastRefreshTick = now;
    std::vector<ConsumerRecord> consumers;
    if (consumerActive) {
        consumers = ScanConsentStore(tracker.displayNames);
        SortConsumers(consumers, ReferenceTime(now, referenceTick, SystemTimeAsFiletime()));
    }
    // Written also when empty: the block must not keep an earlier list. A block that cannot be
    // written now is tried again at the next refresh.
    WriteConsumersBlock(tracker, consumers);
}

}  // namespace orbelune
