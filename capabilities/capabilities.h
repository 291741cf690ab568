// The native capture formats of the configured camera, as the virtual camera learns them: the
// choice of formats from what the device reports. The block they are published in, and its
// writer, belong to the contract with the virtual camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orbelune/vcam_agent.h"

namespace orbelune {

// One capture format, the same 16 bytes as one entry of the capabilities block; a list holds
// at most kMaxCapabilities, the number of the block's entry slots.
using vcam::CameraCapability;
using vcam::kMaxCapabilities;

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

// What a camera index names among the video-capture devices Media Foundation lists, counted in
// the list's order. The agent activates only a kDevice; every other kind gives the empty list
// and so the fallback format.
struct CameraSelection {
    enum class Kind {
        kNoList,      // the devices could not be listed
        kNegative,    // the index is below zero
        kPastTheEnd,  // the index is not below the number of devices (no device at all included)
        kDevice,      // device number `device`
    };
    Kind kind = Kind::kNoList;
    std::uint32_t device = 0;
};

// `deviceCount` is nothing when the enumeration failed.
CameraSelection SelectCamera(std::optional<std::uint32_t> deviceCount, std::int32_t cameraIndex);

// One listed video-capture device, as the control tool shows it.
struct CameraDevice {
    std::u16string friendlyName;  // empty when the device gives none
    std::u16string symbolicLink;  // likewise
    // The result of activating it as a media source (an HRESULT, 0 for S_OK); nothing when
    // activation was not tried.
    std::optional<std::uint32_t> activation;
};

// The devices in Media Foundation's order, or, when they could not be listed, the enumeration's
// HRESULT.
struct CameraListing {
    bool listed = false;
    std::uint32_t error = 0;
    std::vector<CameraDevice> devices;
};

// A virtual camera of Windows' virtual camera API (MFCreateVirtualCamera): a software device
// whose interface path starts "\\?\SWD#VCAMDEVAPI#", and whose friendly name Windows ends with
// "Windows Virtual Camera". Such a camera may be the one the producer feeds.
bool IsVirtualCamera(const CameraDevice& device);

// Whether activating the device was tried and failed.
bool OpenFailed(const CameraDevice& device);

// Why a device could not be activated, in words, for the HRESULTs a camera gives; empty for
// any other.
std::u16string_view ActivationFailureReason(std::uint32_t result);

}  // namespace orbelune
