// The consumers block of the contract: the applications using a camera, published by the
// agent, and the virtual camera's consistent snapshot of them. Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vcam_common.h"

namespace orbelune::vcam {

inline constexpr wchar_t kConsumersSectionName[] = L"OrbeluneVcamConsumers.v1";
inline constexpr std::size_t kConsumersBlockSize = 608;
inline constexpr std::uint32_t kConsumersMagic = 0x4F42434F;  // "OCBO" in memory
inline constexpr std::uint32_t kConsumersVersion = 1;

// The number of slots; the agent publishes at most this many consumers.
inline constexpr std::size_t kMaxConsumers = 4;
inline constexpr std::size_t kConsumerSlotSize = 144;

// Magic and version are the virtual camera's stamp; the agent compares them and never writes
// them, nor the reserved words at 12 and 604.
inline constexpr Field kConsumersMagicField = {0, 4};
inline constexpr Field kConsumersVersionField = {4, 4};
inline constexpr Field kConsumersCountField = {8, 4};         // 0 to kMaxConsumers
inline constexpr Field kConsumersUpdatedTickField = {16, 8};  // the agent's tick at its write
inline constexpr Field kConsumersEntriesField = {24, (kMaxConsumers * kConsumerSlotSize)};
inline constexpr Field kConsumersSequenceField = {600, 4};  // +1 per write, wrapping

// One slot. The texts are zero-terminated and zero-filled behind the terminator.
inline constexpr Field kSlotDisplayNameField = {0, 64};     // UTF-16, at most 31 units
inline constexpr Field kSlotIdentityField = {64, 64};       // ASCII, at most 63 bytes
inline constexpr Field kSlotPackagedField = {128, 4};       // 1 packaged, 0 desktop
inline constexpr Field kSlotReservedField = {132, 4};       // written as 0
inline constexpr Field kSlotLastUsedStartField = {136, 8};  // FILETIME, never 0
inline constexpr std::size_t kSlotDisplayNameUnits = kSlotDisplayNameField.size / 2;
inline constexpr std::size_t kSlotIdentityBytes = kSlotIdentityField.size;

static_assert(detail::IsWord(kConsumersMagicField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersVersionField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersCountField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersUpdatedTickField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersSequenceField, kConsumersBlockSize));
static_assert(detail::Precedes(kConsumersUpdatedTickField, kConsumersEntriesField) &&
              kConsumersEntriesField.offset % 8 == 0 &&
              kConsumersEntriesField.offset + kConsumersEntriesField.size ==
                  kConsumersSequenceField.offset &&
              kConsumersSequenceField.offset + kConsumersSequenceField.size + 4 ==
                  kConsumersBlockSize);  // and a reserved word
static_assert(detail::Precedes(kSlotDisplayNameField, kSlotIdentityField) &&
              detail::Precedes(kSlotIdentityField, kSlotPackagedField) &&
              detail::IsWord(kSlotPackagedField, kConsumerSlotSize) &&
              detail::IsWord(kSlotReservedField, kConsumerSlotSize) &&
              detail::IsWord(kSlotLastUsedStartField, kConsumerSlotSize) &&
              kSlotLastUsedStartField.offset + kSlotLastUsedStartField.size == kConsumerSlotSize &&
              kConsumerSlotSize % 8 == 0);

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

// The virtual camera stamps magic and version (other values only to test the agent's refusal);
// each word is stored only when `size` holds it.
inline void StampConsumersHeader(void* block, std::size_t size,
                                 std::uint32_t magic = kConsumersMagic,
                                 std::uint32_t version = kConsumersVersion) noexcept {
    detail::StoreIfHeld(block, size, kConsumersMagicField, magic);
    detail::StoreIfHeld(block, size, kConsumersVersionField, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent writes no other.
[[nodiscard]] inline bool IsConsumersBlockValid(const void* block, std::size_t size) noexcept {
    return block != nullptr && size >= kConsumersBlockSize &&
           detail::Load<std::uint32_t>(block, kConsumersMagicField.offset) == kConsumersMagic &&
           detail::Load<std::uint32_t>(block, kConsumersVersionField.offset) == kConsumersVersion;
}

// The agent's write, in two steps so that it can read its clock between them and the update
// tick never predates the list. The first step stores the first kMaxConsumers of `slots`
// (`count` of them) into a valid block: each slot whole, one aligned 32-bit store at a time
// from its start (the name cut to 31 units and the identity to 63 bytes, each zero-terminated
// and zero-filled; a slot beyond the list all zero), then the count with a release store.
// Writes nothing and returns false when the block is not valid.
[[nodiscard]] inline bool WriteConsumerSlots(void* block, std::size_t size,
                                             const ConsumerSlot* slots,
                                             std::size_t count) noexcept {
    if (!IsConsumersBlockValid(block, size)) {
        return false;
    }
    const std::size_t n = count < kMaxConsumers ? count : kMaxConsumers;
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        alignas(8) unsigned char image[kConsumerSlotSize] = {};
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
            std::memcpy(image + kSlotLastUsedStartField.offset, &slot.lastUsedStart,
                        sizeof slot.lastUsedStart);
        }
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        for (std::size_t word = 0; word < kConsumerSlotSize; word += sizeof(std::uint32_t)) {
            std::uint32_t value = 0;
            std::memcpy(&value, image + word, sizeof value);
            detail::Store(block, at + word, value);
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

// The fields of a block nobody writes meanwhile, such as a copy (for the live block, see
// SnapshotConsumers); nothing when `size` is below the block's. A text is read up to its
// terminator, or whole without one.
[[nodiscard]] inline std::optional<ConsumersReading> ReadConsumersBlock(const void* block,
                                                                        std::size_t size) noexcept {
    using detail::At;
    using detail::Load;
    if (block == nullptr || size < kConsumersBlockSize) {
        return std::nullopt;
    }
    ConsumersReading r;
    r.magic = Load<std::uint32_t>(block, kConsumersMagicField.offset);
    r.version = Load<std::uint32_t>(block, kConsumersVersionField.offset);
    r.valid = r.magic == kConsumersMagic && r.version == kConsumersVersion;
    r.count = Load<std::uint32_t>(block, kConsumersCountField.offset);
    r.updatedTick = Load<std::uint64_t>(block, kConsumersUpdatedTickField.offset);
    for (std::size_t i = 0; i < r.count && i < kMaxConsumers; ++i) {
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        ConsumerSlot slot;
        const unsigned char* name = At(block, at + kSlotDisplayNameField.offset);
        for (std::size_t unit = 0; unit < kSlotDisplayNameUnits; ++unit) {
            const auto c = static_cast<char16_t>(name[2 * unit] | name[2 * unit + 1] << 8);
            if (c == 0) {
                break;
            }
            slot.displayName += c;
        }
        const auto* identity =
            reinterpret_cast<const char*>(At(block, at + kSlotIdentityField.offset));
        for (std::size_t byte = 0; byte < kSlotIdentityBytes && identity[byte] != 0; ++byte) {
            slot.identity += identity[byte];
        }
        slot.packaged = Load<std::uint32_t>(block, at + kSlotPackagedField.offset);
        slot.lastUsedStart = Load<std::uint64_t>(block, at + kSlotLastUsedStartField.offset);
        r.slots.push_back(std::move(slot));
    }
    r.sequence = Load<std::uint32_t>(block, kConsumersSequenceField.offset);
    return r;
}

namespace detail {

// A text field of `units` units of `unitBytes` bytes each: terminated, and zero behind the
// terminator.
inline bool IsTerminatedText(const unsigned char* text, std::size_t units,
                             std::size_t unitBytes) noexcept {
    bool ended = false;
    for (std::size_t unit = 0; unit < units; ++unit) {
        bool zero = true;
        for (std::size_t byte = 0; byte < unitBytes; ++byte) {
            zero = zero && text[unit * unitBytes + byte] == 0;
        }
        if (ended && !zero) {
            return false;
        }
        ended = ended || zero;
    }
    return ended;
}

}  // namespace detail

// Judges a copy of the consumers block (kConsumersBlockSize bytes) taken between two reads of
// its `sequence`. Rejected: another magic or version, a count above kMaxConsumers, a slot
// within the count that is not a whole consumer (a text without its terminator or with bytes
// behind it, an empty identity, `packaged` other than 0 or 1, a non-zero reserved word, no
// start time), a non-zero byte in a slot beyond the count. A block the agent has not written
// yet (count 0, update tick 0) is accepted as the empty list.
//
// What an accepted copy is. No write finished while it was taken. If none was in progress
// either, it is the last finished write, whole. If the agent was stopped inside one for the
// whole copy (it writes the slots in order, then the count, then the tick, then the sequence):
//   - slots below both the previous and the new count are rewritten in place, so a copy taken
//     after the first of those slot stores and before the count store is ACCEPTED whenever each
//     slot still looks whole, and then mixes the two lists, slot by slot or even within a slot
//     (its words are stored one by one); nothing in the block tells it. (A list written again
//     unchanged, as the agent does every second, changes no byte there.)
//   - a slot the new list fills beyond the previous count, or empties below it, makes the copy
//     rejected from that slot's store until the count store;
//   - after the count store and before the sequence increment: accepted; it is the new list
//     whole, under the previous sequence (and, before the tick store, the previous tick).
[[nodiscard]] inline SnapshotVerdict JudgeConsumersCopy(std::uint32_t sequenceBefore,
                                                        const void* copy,
                                                        std::uint32_t sequenceAfter) noexcept {
    using detail::At;
    using detail::Load;
    if (sequenceBefore != sequenceAfter) {
        return SnapshotVerdict::kRetry;
    }
    const std::uint32_t count = Load<std::uint32_t>(copy, kConsumersCountField.offset);
    if (Load<std::uint32_t>(copy, kConsumersMagicField.offset) != kConsumersMagic ||
        Load<std::uint32_t>(copy, kConsumersVersionField.offset) != kConsumersVersion ||
        count > kMaxConsumers) {
        return SnapshotVerdict::kRejected;
    }
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        const unsigned char* slot = At(copy, at);
        bool whole = false;
        if (i < count) {
            const std::uint32_t packaged =
                Load<std::uint32_t>(copy, at + kSlotPackagedField.offset);
            whole =
                detail::IsTerminatedText(slot + kSlotDisplayNameField.offset, kSlotDisplayNameUnits,
                                         2) &&
                detail::IsTerminatedText(slot + kSlotIdentityField.offset, kSlotIdentityBytes, 1) &&
                slot[kSlotIdentityField.offset] != 0 && (packaged == 0 || packaged == 1) &&
                Load<std::uint32_t>(copy, at + kSlotReservedField.offset) == 0 &&
                Load<std::uint64_t>(copy, at + kSlotLastUsedStartField.offset) != 0;
        } else {
            whole = true;
            for (std::size_t byte = 0; byte < kConsumerSlotSize; ++byte) {
                whole = whole && slot[byte] == 0;
            }
        }
        if (!whole) {
            return SnapshotVerdict::kRejected;
        }
    }
    return SnapshotVerdict::kAccepted;
}

// The live consumers block as the last finished write, in the terms of JudgeConsumersCopy; as
// SnapshotCapabilities.
[[nodiscard]] inline std::optional<ConsumersReading> SnapshotConsumers(
    const void* block, std::size_t size, int attempts = kSnapshotAttempts) noexcept {
    detail::BlockCopy<kConsumersBlockSize> copy;
    if (!detail::CopyPublication(block, size, kConsumersSequenceField.offset, JudgeConsumersCopy,
                                 attempts, copy)) {
        return std::nullopt;
    }
    return ReadConsumersBlock(copy.bytes, sizeof copy.bytes);
}

}  // namespace orbelune::vcam
