// The capabilities and consumers blocks as the control tool shows them: every field of a copy
// that nobody writes, whatever it holds (the virtual camera reads the live blocks through
// vcam_snapshot.h instead). It allocates, so it may throw std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "orbelune/vcam_agent.h"

namespace orbelune::vcam {

struct CapabilitiesReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;  // magic and version as expected: the agent has published into it
    std::uint32_t cameraIndex = 0;
    std::uint32_t count = 0;                // as stored, even beyond the slots
    std::vector<CameraCapability> entries;  // the slots below the count
    std::uint32_t sequence = 0;
};

struct ConsumersReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;               // magic and version as expected
    std::uint32_t count = 0;          // as stored, even beyond the slots
    std::uint64_t updatedTick = 0;    // 0: never written
    std::vector<ConsumerSlot> slots;  // the slots below the count
    std::uint32_t sequence = 0;
};

namespace detail {

template <typename T>
T CopyWord(const void* copy, std::size_t offset) {
    T value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(copy) + offset, sizeof value);
    return value;
}

}  // namespace detail

// Nothing when `size` is below the block's.
[[nodiscard]] inline std::optional<CapabilitiesReading> ReadCapabilitiesBlock(const void* copy,
                                                                              std::size_t size) {
    using detail::CopyWord;
    if (copy == nullptr || size < kCapabilitiesBlockSize) {
        return std::nullopt;
    }
    CapabilitiesReading r;
    r.magic = CopyWord<std::uint32_t>(copy, kCapabilitiesMagicField.offset);
    r.version = CopyWord<std::uint32_t>(copy, kCapabilitiesVersionField.offset);
    r.valid = r.magic == kCapabilitiesMagic && r.version == kCapabilitiesVersion;
    r.cameraIndex = CopyWord<std::uint32_t>(copy, kCapabilitiesCameraIndexField.offset);
    r.count = CopyWord<std::uint32_t>(copy, kCapabilitiesCountField.offset);
    for (std::size_t i = 0; i < r.count && i < kMaxCapabilities; ++i) {
        const std::size_t at = kCapabilitiesEntriesField.offset + i * kCapabilityEntrySize;
        r.entries.push_back(
            {CopyWord<std::uint32_t>(copy, at + kCapabilityWidthField.offset),
             CopyWord<std::uint32_t>(copy, at + kCapabilityHeightField.offset),
             CopyWord<std::uint32_t>(copy, at + kCapabilityFrameRateNumeratorField.offset),
             CopyWord<std::uint32_t>(copy, at + kCapabilityFrameRateDenominatorField.offset)});
    }
    r.sequence = CopyWord<std::uint32_t>(copy, kCapabilitiesSequenceField.offset);
    return r;
}

// Nothing when `size` is below the block's. A text is read up to its terminator, or whole
// without one.
[[nodiscard]] inline std::optional<ConsumersReading> ReadConsumersBlock(const void* copy,
                                                                        std::size_t size) {
    using detail::CopyWord;
    if (copy == nullptr || size < kConsumersBlockSize) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const unsigned char*>(copy);
    ConsumersReading r;
    r.magic = CopyWord<std::uint32_t>(copy, kConsumersMagicField.offset);
    r.version = CopyWord<std::uint32_t>(copy, kConsumersVersionField.offset);
    r.valid = r.magic == kConsumersMagic && r.version == kConsumersVersion;
    r.updatedTick = CopyWord<std::uint64_t>(copy, kConsumersUpdatedTickField.offset);
    r.count = CopyWord<std::uint32_t>(copy, kConsumersCountField.offset);
    for (std::size_t i = 0; i < r.count && i < kMaxConsumers; ++i) {
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        ConsumerSlot slot;
        const unsigned char* name = bytes + at + kSlotDisplayNameField.offset;
        for (std::size_t unit = 0; unit < kSlotDisplayNameUnits; ++unit) {
            const auto c = static_cast<char16_t>(name[2 * unit] | name[2 * unit + 1] << 8);
            if (c == 0) {
                break;
            }
            slot.displayName += c;
        }
        const unsigned char* identity = bytes + at + kSlotIdentityField.offset;
        for (std::size_t byte = 0; byte < kSlotIdentityBytes && identity[byte] != 0; ++byte) {
            slot.identity += static_cast<char>(identity[byte]);
        }
        slot.packaged = CopyWord<std::uint32_t>(copy, at + kSlotPackagedField.offset);
        slot.lastUsedStart = CopyWord<std::uint64_t>(copy, at + kSlotLastUsedStartField.offset);
        r.slots.push_back(std::move(slot));
    }
    r.sequence = CopyWord<std::uint32_t>(copy, kConsumersSequenceField.offset);
    return r;
}

}  // namespace orbelune::vcam
