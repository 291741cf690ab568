// The capabilities block of the contract: the native formats of the agent's camera, published
// by the agent: the block's layout. Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vcam_common.h"

namespace orbelune::vcam {

inline constexpr wchar_t kCapabilitiesSectionName[] = L"OrbeluneVcamCapabilities.v1";
inline constexpr std::size_t kCapabilitiesBlockSize = 2068;
inline constexpr std::uint32_t kCapabilitiesMagic = 0x4F425650;  // "PVBO" in memory
inline constexpr std::uint32_t kCapabilitiesVersion = 1;

// The number of entry slots, and so the most formats a publication holds.
inline constexpr std::size_t kMaxCapabilities = 128;

// One capture format and one entry of the block: four u32 in this order, 16 bytes. The rate is
// numerator / denominator frames per second, as the device reports it, never reduced: 30/1 and
// 60/2 are two formats.
struct CameraCapability {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameRateNumerator = 0;
    std::uint32_t frameRateDenominator = 0;

    friend bool operator==(const CameraCapability& a, const CameraCapability& b) noexcept {
        return a.width == b.width && a.height == b.height &&
               a.frameRateNumerator == b.frameRateNumerator &&
               a.frameRateDenominator == b.frameRateDenominator;
    }
    friend bool operator!=(const CameraCapability& a, const CameraCapability& b) noexcept {
        return !(a == b);
    }
};

inline constexpr std::size_t kCapabilityEntrySize = 16;
inline constexpr Field kCapabilityWidthField = {0, 4};
inline constexpr Field kCapabilityHeightField = {4, 4};
inline constexpr Field kCapabilityFrameRateNumeratorField = {8, 4};
inline constexpr Field kCapabilityFrameRateDenominatorField = {12, 4};
static_assert(sizeof(CameraCapability) == kCapabilityEntrySize &&
              offsetof(CameraCapability, width) == kCapabilityWidthField.offset &&
              offsetof(CameraCapability, height) == kCapabilityHeightField.offset &&
              offsetof(CameraCapability, frameRateNumerator) ==
                  kCapabilityFrameRateNumeratorField.offset &&
              offsetof(CameraCapability, frameRateDenominator) ==
                  kCapabilityFrameRateDenominatorField.offset &&
              detail::IsWord(kCapabilityFrameRateDenominatorField, kCapabilityEntrySize));

inline constexpr Field kCapabilitiesMagicField = {0, 4};
inline constexpr Field kCapabilitiesVersionField = {4, 4};
inline constexpr Field kCapabilitiesCameraIndexField = {8, 4};  // a negative index as 0
inline constexpr Field kCapabilitiesCountField = {12, 4};       // 1 to kMaxCapabilities
inline constexpr Field kCapabilitiesEntriesField = {16, (kMaxCapabilities * kCapabilityEntrySize)};
inline constexpr Field kCapabilitiesSequenceField = {2064, 4};  // +1 per publication, wrapping

static_assert(detail::IsWord(kCapabilitiesMagicField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesVersionField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesCameraIndexField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesCountField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesSequenceField, kCapabilitiesBlockSize));
static_assert(detail::Precedes(kCapabilitiesCountField, kCapabilitiesEntriesField) &&
              kCapabilitiesEntriesField.offset % 8 == 0 &&
              kCapabilitiesEntriesField.offset + kCapabilitiesEntriesField.size ==
                  kCapabilitiesSequenceField.offset &&
              kCapabilitiesSequenceField.offset + kCapabilitiesSequenceField.size ==
                  kCapabilitiesBlockSize);

}  // namespace orbelune::vcam
