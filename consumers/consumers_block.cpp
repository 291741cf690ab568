#include "consumers/consumers_block.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

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

std::array<std::byte, kConsumerSlotSize> ConsumerSlotImage(const ConsumerRecord& record) {
    std::array<std::byte, kConsumerSlotSize> image = {};
    const std::span<std::byte> slot(image);

    const size_t nameUnits = std::min(record.displayName.size(), kSlotDisplayNameUnits - 1);
    for (size_t i = 0; i < nameUnits; ++i) {
        const char16_t unit = record.displayName[i];
        slot[kSlotDisplayNameOffset + 2 * i] = static_cast<std::byte>(unit & 0xFF);
        slot[kSlotDisplayNameOffset + 2 * i + 1] = static_cast<std::byte>(unit >> 8);
    }

    const std::string identity = NarrowToAscii(record.identity);
    const size_t identityBytes = std::min(identity.size(), kSlotIdentityBytes - 1);
    std::memcpy(slot.subspan(kSlotIdentityOffset, identityBytes).data(), identity.data(),
                identityBytes);

    StoreU32(slot, kSlotPackagedOffset, record.packaged ? 1 : 0);
    StoreU64(slot, kSlotLastUsedStartOffset, record.lastUsedStart);
    return image;
}

bool IsConsumersBlockValid(std::span<const std::byte> block) {
    return block.size() >= kConsumersBlockSize &&
           LoadU32(block, kConsumersMagicOffset) == kConsumersMagic &&
           LoadU32(block, kConsumersVersionOffset) == kConsumersVersion;
}

bool WriteConsumerSlots(std::span<std::byte> block,
                        std::span<const ConsumerRecord> records) noexcept {
    if (!IsConsumersBlockValid(block)) {
        return false;
    }
    const size_t count = std::min(records.size(), kMaxConsumers);
    for (size_t i = 0; i < kMaxConsumers; ++i) {
        const std::array<std::byte, kConsumerSlotSize> image =
            i < count ? ConsumerSlotImage(records[i]) : std::array<std::byte, kConsumerSlotSize>{};
        std::memcpy(
            block.subspan(kConsumersEntriesOffset + i * kConsumerSlotSize, kConsumerSlotSize)
                .data(),
            image.data(), image.size());
    }
    // A release store keeps the slots ahead of the count.
    SharedWord<std::uint32_t>(block, kConsumersCountOffset)
        .store(static_cast<std::uint32_t>(count), std::memory_order_release);
    return true;
}

void StampConsumersUpdate(std::span<std::byte> block, std::uint64_t tick) noexcept {
    // A release store keeps the count ahead of the tick; the full-barrier increment publishes
    // all of it.
    SharedWord<std::uint64_t>(block, kConsumersUpdatedTickOffset)
        .store(tick, std::memory_order_release);
    SharedWord<std::uint32_t>(block, kConsumersSequenceOffset).fetch_add(1);
}

bool WriteConsumersBlock(std::span<std::byte> block, std::span<const ConsumerRecord> records,
                         std::uint64_t tick) noexcept {
    if (!WriteConsumerSlots(block, records)) {
        return false;
    }
    StampConsumersUpdate(block, tick);
    return true;
}

}  // namespace orbelune
