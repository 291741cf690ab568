#include "consumers/consumers_block.h"

#include <algorithm>

namespace orbelune {
namespace {

std::uint64_t Distance(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : b - a;
}

}  // namespace

bool IsRefreshDue(std::uint64_t now, std::uint64_t lastRefreshTick) {
    return now - lastRefreshTick >= kRefreshIntervalMs;
}

std::uint64_t ReferenceTime(std::uint64_t now, std::uint64_t referenceTick,
                            std::uint64_t systemTime) {
    if (referenceTick == 0 || now < referenceTick) {
        return 0;
    }
    return systemTime - (now - referenceTick) * 10000;
}

void SortConsumers(std::span<ConsumerRecord> records, std::uint64_t referenceTime) {
    if (referenceTime == 0) {
        std::stable_sort(records.begin(), records.end(),
                         [](const ConsumerRecord& a, const ConsumerRecord& b) {
                             return a.lastUsedStart > b.lastUsedStart;
                         });
        return;
    }
    std::stable_sort(records.begin(), records.end(),
                     [referenceTime](const ConsumerRecord& a, const ConsumerRecord& b) {
                         return Distance(a.lastUsedStart, referenceTime) <
                                Distance(b.lastUsedStart, referenceTime);
                     });
}

std::string NarrowToAscii(std::u16string_view text) {
    std::string narrow(text.size(), '?');
    std::transform(text.begin(), text.end(), narrow.begin(),
                   [](char16_t unit) { return unit < 0x80 ? static_cast<char>(unit) : '?'; });
    return narrow;
}

std::vector<vcam::ConsumerSlot> ConsumerSlots(std::span<const ConsumerRecord> records) {
    std::vector<vcam::ConsumerSlot> slots;
    for (const ConsumerRecord& record : records.first(std::min(records.size(), kMaxConsumers))) {
        slots.push_back({record.displayName, NarrowToAscii(record.identity),
                         record.packaged ? 1u : 0u, record.lastUsedStart});
    }
    return slots;
}

}  // namespace orbelune
