// The control block of the contract: the virtual camera's ticks and the agent's camera index.
// Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vcam_common.h"

namespace orbelune::vcam {

inline constexpr wchar_t kControlSectionName[] = L"OrbeluneVcamControl.v2";
inline constexpr std::size_t kControlBlockSize = 80;
inline constexpr std::uint32_t kControlMagic = 0x4F425643;  // "CVBO" in memory
inline constexpr std::uint32_t kControlVersion = 2;

// Bytes 8-11, 32-47 and 56-79 are the virtual camera's own; the agent never touches them.
inline constexpr Field kControlMagicField = {0, 4};
inline constexpr Field kControlVersionField = {4, 4};
inline constexpr Field kControlCameraIndexField = {12, 4};            // written by the agent
inline constexpr Field kControlDemandTickField = {16, 8};             // frames are wanted
inline constexpr Field kControlConsumerStartTickField = {24, 8};      // a consumer began
inline constexpr Field kControlConsumerHeartbeatTickField = {48, 8};  // a consumer is present

static_assert(detail::IsWord(kControlMagicField, kControlBlockSize) &&
              detail::IsWord(kControlVersionField, kControlBlockSize) &&
              detail::IsWord(kControlCameraIndexField, kControlBlockSize) &&
              detail::IsWord(kControlDemandTickField, kControlBlockSize) &&
              detail::IsWord(kControlConsumerStartTickField, kControlBlockSize) &&
              detail::IsWord(kControlConsumerHeartbeatTickField, kControlBlockSize));
static_assert(detail::Precedes(kControlVersionField, kControlCameraIndexField) &&
              detail::Precedes(kControlCameraIndexField, kControlDemandTickField) &&
              detail::Precedes(kControlDemandTickField, kControlConsumerStartTickField) &&
              detail::Precedes(kControlConsumerStartTickField, kControlConsumerHeartbeatTickField));

// There is no lock and no counter: the two sides write disjoint fields, each with one aligned
// store of its width, and read them with one aligned load each.

// The virtual camera stamps magic and version (other values only to test the agent's refusal);
// each word is stored only when `size` holds it.
inline void StampControlHeader(void* block, std::size_t size, std::uint32_t magic = kControlMagic,
                               std::uint32_t version = kControlVersion) noexcept {
    detail::StoreIfHeld(block, size, kControlMagicField, magic);
    detail::StoreIfHeld(block, size, kControlVersionField, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent treats any other
// block as missing, and asks before every use.
[[nodiscard]] inline bool IsControlBlockValid(const void* block, std::size_t size) noexcept {
    return block != nullptr && size >= kControlBlockSize &&
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

// Every field read once with one aligned load of its width, as the agent reads them; nothing
// when `size` is below the block's.
[[nodiscard]] inline std::optional<ControlReading> ReadControlBlock(const void* block,
                                                                    std::size_t size) noexcept {
    if (block == nullptr || size < kControlBlockSize) {
        return std::nullopt;
    }
    ControlReading r;
    r.magic = detail::Load<std::uint32_t>(block, kControlMagicField.offset);
    r.version = detail::Load<std::uint32_t>(block, kControlVersionField.offset);
    r.valid = r.magic == kControlMagic && r.version == kControlVersion;
    r.cameraIndex = detail::Load<std::uint32_t>(block, kControlCameraIndexField.offset);
    r.demandTick = LoadControlTick(block, kControlDemandTickField);
    r.consumerStartTick = LoadControlTick(block, kControlConsumerStartTickField);
    r.consumerHeartbeatTick = LoadControlTick(block, kControlConsumerHeartbeatTickField);
    return r;
}

}  // namespace orbelune::vcam
