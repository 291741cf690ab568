// The native capture formats of the configured camera, as the virtual camera learns them: the
// choice of formats from what the device reports, and the byte layout of the shared block
// they are published in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orbelune {

// One capture format. The rate is kept as the device reports it, never reduced: 30/1 and 60/2
// are two formats. The same 16 bytes, in this order, form one entry of the shared block.
struct CameraCapability {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameRateNumerator = 0;
    std::uint32_t frameRateDenominator = 0;

    friend bool operator==(const CameraCapability&, const CameraCapability&) = default;
};
static_assert(sizeof(CameraCapability) == 16, "one block entry is four packed u32 fields");

// The most formats a list holds: the number of entry slots of the block.
inline constexpr size_t kMaxCapabilities = 128;

// Published when the camera yields nothing usable.
inline constexpr CameraCapability kFallbackCapability = {1280, 720, 30, 1};

// The attributes read from one native media type, each as the packed 64-bit value Media
// Foundation stores, or empty when the type lacks it. Frame size: width << 32 | height.
// Rates: numerator << 32 | denominator. The range minimum is read only after the maximum.
struct NativeTypeReading {
    std::optional<std::uint64_t> frameRate;
    std::optional<std::uint64_t> frameRateRangeMax;
    std::optional<std::uint64_t> frameRateRangeMin;
    std::optional<std::uint64_t> frameSize;
};

// The formats published for the native types read in walk order: types with an odd side or
// without a usable rate at or below 30 fps are dropped; types beyond 1280x720 (either
// orientation) are folded into one 1280x720 or 720x1280 format at the highest of their rates;
// exact duplicates are dropped; the result runs from the greatest pixel count to the smallest
// (higher rate first at one size; no fixed order between formats equal in both) and holds at
// most kMaxCapabilities formats, the largest.
std::vector<CameraCapability> SelectNativeFormats(std::span<const NativeTypeReading> readings);

// What one request for a native media type gave.
enum class NativeTypeResult { kType, kNoMoreTypes, kFailed };

// The walk over a source's native types, index by index from 0. It ends at the source's "no
// more types". A source that fails index after index with anything else (a camera unplugged
// during the walk, a broken driver) would keep it going for ever: it also ends after
// kMaxFailedTypeIndexesInARow failed indexes in a row, and at kNativeTypeIndexLimit, more
// types than any working device has, which also ends a source that never stops handing out
// types. Whatever was read up to then makes the result.
inline constexpr std::uint32_t kMaxFailedTypeIndexesInARow = 16;
inline constexpr std::uint32_t kNativeTypeIndexLimit = 4096;

struct NativeTypeWalk {
    std::uint32_t typeIndex = 0;  // the next index to ask for, while not done
    std::uint32_t failedInARow = 0;
    bool done = false;

    // Takes in what the request for `typeIndex` gave and moves on.
    void Record(NativeTypeResult result);
};

// The capabilities block, little-endian, in a section the virtual camera creates under
// "Global\" or "Local\" followed by this name.
inline constexpr wchar_t kCapabilitiesSectionName[] = L"OrbeluneVcamCapabilities.v1";
inline constexpr std::uint32_t kCapabilitiesMagic = 0x4F425650;  // "PVBO" in memory order
inline constexpr std::uint32_t kCapabilitiesVersion = 1;
inline constexpr size_t kCapabilitiesMagicOffset = 0;
inline constexpr size_t kCapabilitiesVersionOffset = 4;
inline constexpr size_t kCapabilitiesCameraIndexOffset = 8;
inline constexpr size_t kCapabilitiesCountOffset = 12;
inline constexpr size_t kCapabilitiesEntriesOffset = 16;
inline constexpr size_t kCapabilitiesEntrySize = sizeof(CameraCapability);
inline constexpr size_t kCapabilitiesSequenceOffset =
    kCapabilitiesEntriesOffset + kMaxCapabilities * kCapabilitiesEntrySize;
inline constexpr size_t kCapabilitiesBlockSize = kCapabilitiesSequenceOffset + 4;
static_assert(kCapabilitiesSequenceOffset == 2064);
static_assert(kCapabilitiesBlockSize == 2068);

// Publishes `list` into `block`: the header (a negative camera index written as 0), every entry
// slot zeroed, the first kMaxCapabilities formats in list order, then a full fence and an atomic
// exchange of `sequence` with its previous value plus one (wrapping). The peer knows a
// publication is whole once `sequence` changes; nothing marks one in progress. The previous
// contents are not examined except for `sequence`. `block` must be 4-byte aligned; one shorter
// than kCapabilitiesBlockSize is left untouched.
void WriteCapabilitiesBlock(std::span<std::byte> block, std::span<const CameraCapability> list,
                            std::int32_t cameraIndex);

}  // namespace orbelune
