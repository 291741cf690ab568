// The agent's face of the shared-memory contract: its writers of the capabilities and consumers
// blocks and of the control block's camera index, the checks it makes before each use, and
// readers of a block's fields that are sound only on a copy nobody writes (the agent's tools and
// tests read copies with them). Portable C++17. The virtual camera is built on vcam_peer.h
// instead, whose snapshots are sound on the live blocks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"
#include "vcam_control.h"

namespace orbelune::vcam {

namespace detail {

// The full fence between a publication's stores and its counter. ThreadSanitizer models no
// fences (GCC says so with -Wtsan), so under it the fence is left out: the counter's own
// sequentially consistent store, which a reader loads with acquire, orders the stores before it
// just as well in the language's memory model.
inline void FullFence() noexcept {
#if !defined(__SANITIZE_THREAD__)
    std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

// A block's size and the header words that say who wrote it, with the values the agent expects.
struct BlockStamp {
    std::size_t blockSize;
    Field magicField, versionField;
    std::uint32_t magic, version;
};

inline constexpr BlockStamp kControlStamp = {kControlBlockSize, kControlMagicField,
                                             kControlVersionField, kControlMagic, kControlVersion};
inline constexpr BlockStamp kCapabilitiesStamp = {kCapabilitiesBlockSize, kCapabilitiesMagicField,
                                                  kCapabilitiesVersionField, kCapabilitiesMagic,
                                                  kCapabilitiesVersion};
inline constexpr BlockStamp kConsumersStamp = {kConsumersBlockSize, kConsumersMagicField,
                                               kConsumersVersionField, kConsumersMagic,
                                               kConsumersVersion};

// Stores `magic` and `version` into the header, each only when `size` holds it.
inline void StoreStamp(void* block, std::size_t size, const BlockStamp& stamp, std::uint32_t magic,
                       std::uint32_t version) noexcept {
    StoreIfHeld(block, size, stamp.magicField, magic);
    StoreIfHeld(block, size, stamp.versionField, version);
}

// Whether the block is mapped at its size and stamped as expected.
inline bool IsStamped(const void* block, std::size_t size, const BlockStamp& stamp) noexcept {
    return Holds(block, size, stamp.blockSize) &&
           Load<std::uint32_t>(block, stamp.magicField.offset) == stamp.magic &&
           Load<std::uint32_t>(block, stamp.versionField.offset) == stamp.version;
}

// A reading of a block with its stamp filled in: `magic`, `version`, and whether both are the
// expected ones (`valid`). Nothing when `size` is below the block's.
template <typename Reading>
std::optional<Reading> ReadStamp(const void* block, std::size_t size,
                                 const BlockStamp& stamp) noexcept {
    if (block == nullptr || size < stamp.blockSize) {
        return std::nullopt;
    }
    std::optional<Reading> r(std::in_place);
    r->magic = Load<std::uint32_t>(block, stamp.magicField.offset);
    r->version = Load<std::uint32_t>(block, stamp.versionField.offset);
    r->valid = r->magic == stamp.magic && r->version == stamp.version;
    return r;
}

// Loads the count stored at `countField` and calls `read(at)` for each slot below both it and
// the block's `slots`, with `at` the slot's offset from the block's start. Returns the count as
// stored.
template <typename Read>
std::uint32_t ForEachSlotBelowCount(const void* block, Field countField, std::size_t slots,
                                    Field entries, std::size_t slotSize, Read read) {
    const auto count = Load<std::uint32_t>(block, countField.offset);
    for (std::size_t i = 0; i < count && i < slots; ++i) {
        read(entries.offset + i * slotSize);
    }
    return count;
}

}  // namespace detail

// Stamps a header as the virtual camera does, or with other values to test the agent's refusal
// (the virtual camera itself uses StampPeerHeaders); each word is stored only when `size` holds
// it.
inline void StampControlHeader(void* block, std::size_t size, std::uint32_t magic = kControlMagic,
                               std::uint32_t version = kControlVersion) noexcept {
    detail::StoreStamp(block, size, detail::kControlStamp, magic, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent treats any other
// block as missing, and asks before every use.
[[nodiscard]] inline bool IsControlBlockValid(const void* block, std::size_t size) noexcept {
    return detail::IsStamped(block, size, detail::kControlStamp);
}

// One of the three tick fields, read with one aligned 64-bit load.
[[nodiscard]] inline std::uint64_t LoadControlTick(const void* block, Field tick) noexcept {
    return detail::Load<std::uint64_t>(block, tick.offset);
}

// The agent's one field: the configured camera index, a negative one stored as 0.
inline void StoreControlCameraIndex(void* block, std::int32_t cameraIndex) noexcept {
    detail::Store<std::uint32_t>(block, kControlCameraIndexField.offset,
                                 cameraIndex > 0 ? static_cast<std::uint32_t>(cameraIndex) : 0);
}

struct ControlReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;  // magic and version as expected
    std::uint32_t cameraIndex = 0;
    std::uint64_t demandTick = 0;
    std::uint64_t consumerStartTick = 0;
    std::uint64_t consumerHeartbeatTick = 0;
};

// Every field read once with one aligned load of its width, as the agent reads them; nothing
// when `size` is below the block's.
[[nodiscard]] inline std::optional<ControlReading> ReadControlBlock(const void* block,
                                                                    std::size_t size) noexcept {
    auto r = detail::ReadStamp<ControlReading>(block, size, detail::kControlStamp);
    if (r) {
        r->cameraIndex = detail::Load<std::uint32_t>(block, kControlCameraIndexField.offset);
        r->demandTick = LoadControlTick(block, kControlDemandTickField);
        r->consumerStartTick = LoadControlTick(block, kControlConsumerStartTickField);
        r->consumerHeartbeatTick = LoadControlTick(block, kControlConsumerHeartbeatTickField);
    }
    return r;
}

// The agent's publication of the first kMaxCapabilities formats of `formats` (`count` of them),
// in this order: the header (magic, version, camera index, count), every entry slot zeroed,
// the formats into slots 0 onward, then a full fence and an atomic exchange of `sequence` with
// its previous value plus one (wrapping). Only the change of `sequence` says that a publication
// is whole. Every word is written with one aligned store; each slot is zeroed from its
// denominator back, and each format ends with its denominator, so that from the first entry
// store until the last format is in place some slot within the count has no rate (which the
// virtual camera's snapshot rejects). A block shorter than kCapabilitiesBlockSize, or not aligned
// to 8 bytes, is left untouched.
inline void WriteCapabilitiesBlock(void* block, std::size_t size, const CameraCapability* formats,
                                   std::size_t count, std::int32_t cameraIndex) noexcept {
    using detail::Store;
    if (block == nullptr || size < kCapabilitiesBlockSize || !detail::IsBlockAligned(block)) {
        return;
    }
    const std::size_t n = count < kMaxCapabilities ? count : kMaxCapabilities;
    // Only the agent writes the counter: its own last store.
    const std::uint32_t sequence =
        detail::Load<std::uint32_t>(block, kCapabilitiesSequenceField.offset) + 1u;

    Store<std::uint32_t>(block, kCapabilitiesMagicField.offset, kCapabilitiesMagic);
    Store<std::uint32_t>(block, kCapabilitiesVersionField.offset, kCapabilitiesVersion);
    Store<std::uint32_t>(block, kCapabilitiesCameraIndexField.offset,
                         cameraIndex > 0 ? static_cast<std::uint32_t>(cameraIndex) : 0);
    Store<std::uint32_t>(block, kCapabilitiesCountField.offset, static_cast<std::uint32_t>(n));

    const std::size_t entries = kCapabilitiesEntriesField.offset;
    for (std::size_t slot = 0; slot < kMaxCapabilities; ++slot) {
        for (std::size_t word = kCapabilityEntrySize; word > 0; word -= 4) {
            Store<std::uint32_t>(block, entries + slot * kCapabilityEntrySize + word - 4, 0);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = entries + i * kCapabilityEntrySize;
        Store(block, at + kCapabilityWidthField.offset, formats[i].width);
        Store(block, at + kCapabilityHeightField.offset, formats[i].height);
        Store(block, at + kCapabilityFrameRateNumeratorField.offset, formats[i].frameRateNumerator);
        Store(block, at + kCapabilityFrameRateDenominatorField.offset,
              formats[i].frameRateDenominator);
    }

    // Every store above is visible before the counter moves.
    detail::FullFence();
    detail::Word<std::uint32_t>(block, kCapabilitiesSequenceField.offset)
        .exchange(sequence, std::memory_order_seq_cst);
}

struct CapabilitiesReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;  // magic and version as expected: the agent has published into it
    std::uint32_t cameraIndex = 0;
    std::uint32_t count = 0;                // as stored, even beyond the slots
    std::vector<CameraCapability> entries;  // the slots below the count
    std::uint32_t sequence = 0;
};

// The fields of a block nobody writes meanwhile: a copy, never the live block, which the agent
// may be rewriting (the virtual camera takes vcam_peer.h's snapshot). Nothing when `size` is
// below the block's. It allocates, so it may throw std::bad_alloc.
[[nodiscard]] inline std::optional<CapabilitiesReading> ReadCapabilitiesBlock(const void* block,
                                                                              std::size_t size) {
    using detail::Load;
    auto r = detail::ReadStamp<CapabilitiesReading>(block, size, detail::kCapabilitiesStamp);
    if (!r) {
        return r;
    }
    r->cameraIndex = Load<std::uint32_t>(block, kCapabilitiesCameraIndexField.offset);
    r->count = detail::ForEachSlotBelowCount(
        block, kCapabilitiesCountField, kMaxCapabilities, kCapabilitiesEntriesField,
        kCapabilityEntrySize, [&](std::size_t at) {
            r->entries.push_back(
                {Load<std::uint32_t>(block, at + kCapabilityWidthField.offset),
                 Load<std::uint32_t>(block, at + kCapabilityHeightField.offset),
                 Load<std::uint32_t>(block, at + kCapabilityFrameRateNumeratorField.offset),
                 Load<std::uint32_t>(block, at + kCapabilityFrameRateDenominatorField.offset)});
        });
    r->sequence = Load<std::uint32_t>(block, kCapabilitiesSequenceField.offset);
    return r;
}

// One consumer as a slot holds it.
struct ConsumerSlot {
    std::u16string displayName;
    std::string identity;  // a desktop app's executable file name, a package family name
    std::uint32_t packaged = 0;
    std::uint64_t lastUsedStart = 0;  // FILETIME (100 ns units since 1601-01-01 UTC)

    friend bool operator==(const ConsumerSlot& a, const ConsumerSlot& b) {
        return a.displayName == b.displayName && a.identity == b.identity &&
               a.packaged == b.packaged && a.lastUsedStart == b.lastUsedStart;
    }
};

// As StampControlHeader.
inline void StampConsumersHeader(void* block, std::size_t size,
                                 std::uint32_t magic = kConsumersMagic,
                                 std::uint32_t version = kConsumersVersion) noexcept {
    detail::StoreStamp(block, size, detail::kConsumersStamp, magic, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent writes no other.
[[nodiscard]] inline bool IsConsumersBlockValid(const void* block, std::size_t size) noexcept {
    return detail::IsStamped(block, size, detail::kConsumersStamp);
}

// The agent's write, in two steps so that it can read its clock between them and the update
// tick never predates the list. The first step stores the first kMaxConsumers of `slots`
// (`count` of them) into a valid block: slot after slot, each whole (the name cut to 31 units and
// the identity to 63 bytes, each zero-terminated and zero-filled; a slot beyond the list all
// zero), every field with one aligned store of its width, from the slot's end back to its start:
// the start time first, so that a slot being emptied has no start time from its first store on
// and no reader takes it for a consumer. Then the count, with a release store. Writes nothing
// and returns false when the block is not valid.
[[nodiscard]] inline bool WriteConsumerSlots(void* block, std::size_t size,
                                             const ConsumerSlot* slots,
                                             std::size_t count) noexcept {
    if (!IsConsumersBlockValid(block, size)) {
        return false;
    }
    const std::size_t n = count < kMaxConsumers ? count : kMaxConsumers;
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        alignas(8) unsigned char image[kConsumerSlotSize] = {};
        std::uint64_t lastUsedStart = 0;
        if (i < n) {
            const ConsumerSlot& slot = slots[i];
            for (std::size_t unit = 0;
                 unit < slot.displayName.size() && unit < kSlotDisplayNameUnits - 1; ++unit) {
                image[kSlotDisplayNameField.offset + 2 * unit] =
                    static_cast<unsigned char>(slot.displayName[unit] & 0xFF);
                image[kSlotDisplayNameField.offset + 2 * unit + 1] =
                    static_cast<unsigned char>(slot.displayName[unit] >> 8);
            }
            for (std::size_t byte = 0; byte < slot.identity.size() && byte < kSlotIdentityBytes - 1;
                 ++byte) {
                image[kSlotIdentityField.offset + byte] =
                    static_cast<unsigned char>(slot.identity[byte]);
            }
            std::memcpy(image + kSlotPackagedField.offset, &slot.packaged, sizeof slot.packaged);
            lastUsedStart = slot.lastUsedStart;
        }
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        detail::Store(block, at + kSlotLastUsedStartField.offset, lastUsedStart);
        for (std::size_t word = kSlotLastUsedStartField.offset; word > 0; word -= 4) {
            std::uint32_t value = 0;
            std::memcpy(&value, image + word - 4, sizeof value);
            detail::Store(block, at + word - 4, value);
        }
    }
    detail::Store(block, kConsumersCountField.offset, static_cast<std::uint32_t>(n),
                  std::memory_order_release);
    return true;
}

// The second step, after a first that returned true: stores `tick` as the update tick (a
// release store, after the count), then increments `sequence` with a full barrier, so that a
// reader who sees the new sequence sees the slots, the count and the tick.
inline void StampConsumersUpdate(void* block, std::uint64_t tick) noexcept {
    detail::Store(block, kConsumersUpdatedTickField.offset, tick, std::memory_order_release);
    detail::Word<std::uint32_t>(block, kConsumersSequenceField.offset)
        .fetch_add(1, std::memory_order_seq_cst);
}

struct ConsumersReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;               // magic and version as expected
    std::uint32_t count = 0;          // as stored, even beyond the slots
    std::uint64_t updatedTick = 0;    // 0: never written
    std::vector<ConsumerSlot> slots;  // the slots below the count
    std::uint32_t sequence = 0;
};

// The fields of a block nobody writes meanwhile: a copy, never the live block (see
// ReadCapabilitiesBlock). Nothing when `size` is below the block's. A text is read up to its
// terminator, or whole without one.
[[nodiscard]] inline std::optional<ConsumersReading> ReadConsumersBlock(const void* block,
                                                                        std::size_t size) {
    using detail::At;
    using detail::Load;
    auto r = detail::ReadStamp<ConsumersReading>(block, size, detail::kConsumersStamp);
    if (!r) {
        return r;
    }
    r->updatedTick = Load<std::uint64_t>(block, kConsumersUpdatedTickField.offset);
    r->count = detail::ForEachSlotBelowCount(
        block, kConsumersCountField, kMaxConsumers, kConsumersEntriesField, kConsumerSlotSize,
        [&](std::size_t at) {
            ConsumerSlot slot;
            const auto* name =
                static_cast<const unsigned char*>(At(block, at + kSlotDisplayNameField.offset));
            for (std::size_t unit = 0; unit < kSlotDisplayNameUnits; ++unit) {
                const auto c = static_cast<char16_t>(name[2 * unit] | name[2 * unit + 1] << 8);
                if (c == 0) {
                    break;
                }
                slot.displayName += c;
            }
            const auto* identity =
                static_cast<const char*>(At(block, at + kSlotIdentityField.offset));
            for (std::size_t byte = 0; byte < kSlotIdentityBytes && identity[byte] != 0; ++byte) {
                slot.identity += identity[byte];
            }
            slot.packaged = Load<std::uint32_t>(block, at + kSlotPackagedField.offset);
            slot.lastUsedStart = Load<std::uint64_t>(block, at + kSlotLastUsedStartField.offset);
            r->slots.push_back(std::move(slot));
        });
    r->sequence = Load<std::uint32_t>(block, kConsumersSequenceField.offset);
    return r;
}

}  // namespace orbelune::vcam
