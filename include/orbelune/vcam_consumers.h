// The consumers block of the contract: the applications using a camera, published by the
// agent: the block's layout. Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace orbelune::vcam
