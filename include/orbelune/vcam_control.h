// The control block of the contract: the virtual camera's ticks and the agent's camera index.
// Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace orbelune::vcam
