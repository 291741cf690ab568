// The control block: an 80-byte section the virtual camera creates, through which it stamps
// its demand and presence ticks and the agent tells it the configured camera index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orbelune {

inline constexpr wchar_t kControlBlockName[] =
    L"OrbeluneVcamControl.v2";                              // after Global\ or Local\ .
inline constexpr std::uint32_t kControlMagic = 0x4F425643;  // "CVBO" in memory
inline constexpr std::uint32_t kControlVersion = 2;
inline constexpr size_t kControlBlockSize = 80;

// Field offsets. The block's other bytes (8-11, 32-47, 56-79) belong to the peer and are never
// read or written here.
inline constexpr size_t kControlMagicOffset = 0;
inline constexpr size_t kControlVersionOffset = 4;
inline constexpr size_t kControlCameraIndexOffset = 12;
inline constexpr size_t kControlDemandTickOffset = 16;
inline constexpr size_t kControlConsumerStartTickOffset = 24;
inline constexpr size_t kControlConsumerHeartbeatTickOffset = 48;
static_assert(kControlConsumerHeartbeatTickOffset + 8 <= kControlBlockSize);
static_assert(kControlDemandTickOffset % 8 == 0 && kControlConsumerStartTickOffset % 8 == 0 &&
              kControlConsumerHeartbeatTickOffset % 8 == 0 && kControlCameraIndexOffset % 4 == 0);

// Every access below is one aligned load or store of the field's width, since the peer writes
// the block at any time without a lock.

// A block counts as present only while its magic and version hold the expected values.
bool ControlBlockValid(std::span<std::byte> block);

std::uint64_t LoadControlTick(std::span<std::byte> block, size_t tickOffset);

// The one field the agent writes: the configured index, a negative one stored as 0.
void StoreControlCameraIndex(std::span<std::byte> block, std::int32_t cameraIndex);

}  // namespace orbelune
