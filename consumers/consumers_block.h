// The consumer list as published to the virtual camera: ordering, the once-a-second rhythm and
// the byte layout of the consumers block, a 608-byte section the virtual camera creates and
// stamps. The agent fills the slots, the count, the update tick and the sequence counter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "consumers/consumer_record.h"

namespace orbelune {

// The consumers block lives in a section the virtual camera creates under "Global\" or
// "Local\" followed by this name, and stamps with this magic and version.
inline constexpr wchar_t kConsumersSectionName[] = L"OrbeluneVcamConsumers.v1";
inline constexpr std::uint32_t kConsumersMagic = 0x4F42434F;  // "OCBO" in memory
inline constexpr std::uint32_t kConsumersVersion = 1;

// A rescan and rewrite happens at most once per this many milliseconds.
inline constexpr std::uint64_t kRefreshIntervalMs = 1000;
// The number of slots; a longer list is cut after ordering.
inline constexpr size_t kMaxConsumers = 4;

// Block layout, little-endian. The reserved words at 12 and 604 are never written.
inline constexpr size_t kConsumersMagicOffset = 0;         // u32, the peer's; only compared
inline constexpr size_t kConsumersVersionOffset = 4;       // u32, the peer's; only compared
inline constexpr size_t kConsumersCountOffset = 8;         // u32, valid slots
inline constexpr size_t kConsumersUpdatedTickOffset = 16;  // u64, tick of the last write
inline constexpr size_t kConsumersEntriesOffset = 24;      // kMaxConsumers slots
inline constexpr size_t kConsumersSequenceOffset = 600;    // u32, +1 after every write
inline constexpr size_t kConsumersBlockSize = 608;

// Slot layout. The reserved word at 132 is written as 0.
inline constexpr size_t kSlotDisplayNameOffset = 0;  // UTF-16, zero-terminated
inline constexpr size_t kSlotDisplayNameUnits = 32;
inline constexpr size_t kSlotIdentityOffset = 64;  // ASCII, zero-terminated
inline constexpr size_t kSlotIdentityBytes = 64;
inline constexpr size_t kSlotPackagedOffset = 128;       // u32, 1 or 0
inline constexpr size_t kSlotLastUsedStartOffset = 136;  // u64 FILETIME
inline constexpr size_t kConsumerSlotSize = 144;

static_assert(kSlotDisplayNameOffset + kSlotDisplayNameUnits * 2 == kSlotIdentityOffset);
static_assert(kSlotIdentityOffset + kSlotIdentityBytes == kSlotPackagedOffset);
static_assert(kSlotLastUsedStartOffset + 8 == kConsumerSlotSize);
static_assert(kConsumerSlotSize == 144);
static_assert(kConsumersEntriesOffset + kMaxConsumers * kConsumerSlotSize ==
              kConsumersSequenceOffset);
static_assert(kConsumersSequenceOffset + 8 == kConsumersBlockSize);
static_assert(kConsumersBlockSize == 608);

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

// The 144 bytes of one slot holding `record`: the name cut to 31 units and the identity to 63
// bytes, each zero-terminated and zero-filled.
std::array<std::byte, kConsumerSlotSize> ConsumerSlotImage(const ConsumerRecord& record);

// Whether the peer has stamped the block with the expected magic and version.
bool IsConsumersBlockValid(std::span<const std::byte> block);

// Publishing is two steps, so that the agent can read its clock between them and the update
// tick never predates the list it stamps.
// The first step stores the first kMaxConsumers records into a valid block: every slot written
// whole (the unused ones as zeros), then the count. Writes nothing and returns false when the
// block is too short or not valid.
[[nodiscard]] bool WriteConsumerSlots(std::span<std::byte> block,
                                      std::span<const ConsumerRecord> records) noexcept;

// The second step, after a first step that returned true: stores `tick` as the update tick,
// then increments the sequence with a full barrier, so that a reader who sees the new sequence
// sees the slots, the count and the tick.
void StampConsumersUpdate(std::span<std::byte> block, std::uint64_t tick) noexcept;

// Both steps, for a caller that has its tick already.
[[nodiscard]] bool WriteConsumersBlock(std::span<std::byte> block,
                                       std::span<const ConsumerRecord> records,
                                       std::uint64_t tick) noexcept;

}  // namespace orbelune
