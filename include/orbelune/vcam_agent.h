// The agent's face of the shared-memory blocks: the checks it makes before each use, its reading
// of the control block, and its writers of the control block's camera index and of the
// capabilities and consumers blocks. Portable C++17. The virtual camera is built on vcam_peer.h
// instead.
//
// Each block the agent fills has one writer: the agent of one logon session. The writers order
// their stores for a reader that copies the block while they write (vcam_snapshot.h), and that
// order holds only while nobody else writes the same block at the same time. Sections under
// Global\ are shared by the agents of every signed-in user, so there each agent writes the same
// two blocks; what a reader then sees is written in vcam_snapshot.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "vcam_blocks.h"

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

// A store whose order among the publication's other stores a reader relies on: a release store,
// so that the order is the language's and not only the processor's (on x86-64 it is the same
// plain store).
template <typename T>
void OrderedStore(void* block, std::size_t offset, T value) noexcept {
    Store<T>(block, offset, value, std::memory_order_release);
}

}  // namespace detail

// Whether the control block is mapped at its size and stamped as the agent expects; the agent
// treats any other block as missing, and asks before every use.
[[nodiscard]] inline bool IsControlBlockValid(const void* block, std::size_t size) noexcept {
    return detail::Holds(block, size, kControlBlockSize) &&
           detail::Load<std::uint32_t>(block, kControlMagicField.offset) == kControlMagic &&
           detail::Load<std::uint32_t>(block, kControlVersionField.offset) == kControlVersion;
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

// The control block's one decoder: every field read once with one aligned load of its width, as
// the agent reads them; nothing when the block is null, shorter than the block's size or not
// aligned. The fields are disjoint single words, so a reading of the live block is sound.
[[nodiscard]] inline std::optional<ControlReading> ReadControlBlock(const void* block,
                                                                    std::size_t size) noexcept {
    using detail::Load;
    if (!detail::Holds(block, size, kControlBlockSize)) {
        return std::nullopt;
    }
    ControlReading r;
    r.magic = Load<std::uint32_t>(block, kControlMagicField.offset);
    r.version = Load<std::uint32_t>(block, kControlVersionField.offset);
    r.valid = r.magic == kControlMagic && r.version == kControlVersion;
    r.cameraIndex = Load<std::uint32_t>(block, kControlCameraIndexField.offset);
    r.demandTick = LoadControlTick(block, kControlDemandTickField);
    r.consumerStartTick = LoadControlTick(block, kControlConsumerStartTickField);
    r.consumerHeartbeatTick = LoadControlTick(block, kControlConsumerHeartbeatTickField);
    return r;
}

// The agent's publication of the first kMaxCapabilities formats of `formats` (`count` of them),
// in this order: the header (magic, version, camera index, count), every entry slot zeroed,
// the formats into slots 0 onward, then a full fence and an atomic exchange of `sequence` with
// its previous value plus one (wrapping). Only the change of `sequence` says that a publication
// is whole. Every word is written with one aligned release store, in this order; each slot is
// zeroed from its denominator back, and each format ends with its denominator, so that from the
// first entry store until the last format is in place some slot within the count has no rate
// (which the virtual camera's snapshot rejects). A block shorter than kCapabilitiesBlockSize,
// or not aligned to 8 bytes, is left untouched.
inline void WriteCapabilitiesBlock(void* block, std::size_t size, const CameraCapability* formats,
                                   std::size_t count, std::int32_t cameraIndex) noexcept {
    using detail::OrderedStore;
    if (!detail::Holds(block, size, kCapabilitiesBlockSize)) {
        return;
    }
    const std::size_t n = count < kMaxCapabilities ? count : kMaxCapabilities;
    // The writer reads back its own last store of the counter.
    const std::uint32_t sequence =
        detail::Load<std::uint32_t>(block, kCapabilitiesSequenceField.offset) + 1u;

    OrderedStore<std::uint32_t>(block, kCapabilitiesMagicField.offset, kCapabilitiesMagic);
    OrderedStore<std::uint32_t>(block, kCapabilitiesVersionField.offset, kCapabilitiesVersion);
    OrderedStore<std::uint32_t>(block, kCapabilitiesCameraIndexField.offset,
                                cameraIndex > 0 ? static_cast<std::uint32_t>(cameraIndex) : 0);
    OrderedStore<std::uint32_t>(block, kCapabilitiesCountField.offset,
                                static_cast<std::uint32_t>(n));

    const std::size_t entries = kCapabilitiesEntriesField.offset;
    for (std::size_t slot = 0; slot < kMaxCapabilities; ++slot) {
        for (std::size_t word = kCapabilityEntrySize; word > 0; word -= 4) {
            OrderedStore<std::uint32_t>(block, entries + slot * kCapabilityEntrySize + word - 4, 0);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = entries + i * kCapabilityEntrySize;
        OrderedStore(block, at + kCapabilityWidthField.offset, formats[i].width);
        OrderedStore(block, at + kCapabilityHeightField.offset, formats[i].height);
        OrderedStore(block, at + kCapabilityFrameRateNumeratorField.offset,
                     formats[i].frameRateNumerator);
        OrderedStore(block, at + kCapabilityFrameRateDenominatorField.offset,
                     formats[i].frameRateDenominator);
    }

    // Every store above is visible before the counter moves.
    detail::FullFence();
    detail::Word<std::uint32_t>(block, kCapabilitiesSequenceField.offset)
        .exchange(sequence, std::memory_order_seq_cst);
}

// One consumer as the agent writes it into a slot.
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

// Whether the consumers block is mapped at its size and stamped by the virtual camera as the
// agent expects; the agent writes no other.
[[nodiscard]] inline bool IsConsumersBlockValid(const void* block, std::size_t size) noexcept {
    return detail::Holds(block, size, kConsumersBlockSize) &&
           detail::Load<std::uint32_t>(block, kConsumersMagicField.offset) == kConsumersMagic &&
           detail::Load<std::uint32_t>(block, kConsumersVersionField.offset) == kConsumersVersion;
}

// The agent's write, in two steps so that it can read its clock between them and the update
// tick never predates the list. The first step stores the first kMaxConsumers of `slots`
// (`count` of them) into a valid block: slot after slot, each whole (the name cut to 31 units and
// the identity to 63 bytes, each zero-terminated and zero-filled; a slot beyond the list all
// zero), every field with one aligned release store of its width, from the slot's end back to
// its start: the start time first, so that a slot being emptied has no start time from its first
// store on and no reader takes it for a consumer. Then the count. Writes nothing and returns
// false when the block is not valid.
[[nodiscard]] inline bool WriteConsumerSlots(void* block, std::size_t size,
                                             const ConsumerSlot* slots,
                                             std::size_t count) noexcept {
    using detail::OrderedStore;
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
        OrderedStore(block, at + kSlotLastUsedStartField.offset, lastUsedStart);
        for (std::size_t word = kSlotLastUsedStartField.offset; word > 0; word -= 4) {
            std::uint32_t value = 0;
            std::memcpy(&value, image + word - 4, sizeof value);
            OrderedStore(block, at + word - 4, value);
        }
    }
    OrderedStore(block, kConsumersCountField.offset, static_cast<std::uint32_t>(n));
    return true;
}

// The second step, after a first that returned true: stores `tick` as the update tick (a
// release store, after the count), then increments `sequence` with a full barrier, so that a
// reader who sees the new sequence sees the slots, the count and the tick.
inline void StampConsumersUpdate(void* block, std::uint64_t tick) noexcept {
    detail::OrderedStore(block, kConsumersUpdatedTickField.offset, tick);
    detail::Word<std::uint32_t>(block, kConsumersSequenceField.offset)
        .fetch_add(1, std::memory_order_seq_cst);
}

}  // namespace orbelune::vcam
