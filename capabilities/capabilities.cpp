#include "capabilities/capabilities.h"

#include <algorithm>

#include "common/text.h"

namespace orbelune {
namespace {

// Frame rates are compared as exact ratios through 64-bit cross products of the 32-bit terms,
// which cannot overflow; nothing is divided, so no ratio is rounded.
struct Rate {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;
};

Rate UnpackRate(std::uint64_t packed) {
    return {static_cast<std::uint32_t>(packed >> 32), static_cast<std::uint32_t>(packed)};
}

bool IsComplete(Rate rate) {
    return rate.numerator != 0 && rate.denominator != 0;
}

bool ExceedsThirty(Rate rate) {
    return std::uint64_t{rate.numerator} > 30 * std::uint64_t{rate.denominator};
}

// a > b as ratios.
bool IsHigher(Rate a, Rate b) {
    return std::uint64_t{a.numerator} * b.denominator > std::uint64_t{b.numerator} * a.denominator;
}

std::uint64_t PixelCount(const CameraCapability& c) {
    return std::uint64_t{c.width} * c.height;
}

Rate RateOf(const CameraCapability& c) {
    return {c.frameRateNumerator, c.frameRateDenominator};
}

// The rate a type is listed at, or nothing when the type is passed over. A complete range
// bounds the type: above 30 at its top it is skipped, otherwise the nominal rate is preferred,
// then the range minimum, then 30/1 (the range reaches 30 but neither endpoint says where).
std::optional<Rate> ChooseRate(const NativeTypeReading& reading) {
    const std::optional<Rate> nominal =
        reading.frameRate ? std::optional<Rate>(UnpackRate(*reading.frameRate)) : std::nullopt;
    if (reading.frameRateRangeMax && reading.frameRateRangeMin) {
        const Rate rangeMax = UnpackRate(*reading.frameRateRangeMax);
        const Rate rangeMin = UnpackRate(*reading.frameRateRangeMin);
        if (IsComplete(rangeMax) && IsComplete(rangeMin)) {
            if (ExceedsThirty(rangeMax)) {
                return std::nullopt;
            }
            if (nominal && IsComplete(*nominal) && !ExceedsThirty(*nominal)) {
                return nominal;
            }
            if (!ExceedsThirty(rangeMin)) {
                return rangeMin;
            }
            return Rate{30, 1};
        }
    }
    if (!nominal || !IsComplete(*nominal) || ExceedsThirty(*nominal)) {
        return std::nullopt;
    }
    return nominal;
}

bool IsOversize(std::uint32_t width, std::uint32_t height) {
    return std::max(width, height) > 1280 || std::min(width, height) > 720;
}

// Appends width x height at the candidate's rate unless the list already has that exact size
// at the candidate's rate or above. An empty candidate appends nothing.
void AppendFoldedFormat(std::vector<CameraCapability>& list, std::uint32_t width,
                        std::uint32_t height, Rate candidate) {
    if (candidate.numerator == 0) {
        return;
    }
    const bool covered = std::any_of(list.begin(), list.end(), [&](const CameraCapability& c) {
        return c.width == width && c.height == height && !IsHigher(candidate, RateOf(c));
    });
    if (!covered) {
        list.push_back({width, height, candidate.numerator, candidate.denominator});
    }
}

}  // namespace

std::vector<CameraCapability> SelectNativeFormats(std::span<const NativeTypeReading> readings) {
    std::vector<CameraCapability> list;
    // Every tuple taken during the walk is in `list`, so the list doubles as the seen set.
    const auto seen = [&list](const CameraCapability& tuple) {
        return std::find(list.begin(), list.end(), tuple) != list.end();
    };
    Rate landscape;
    Rate portrait;
    for (const NativeTypeReading& reading : readings) {
        if (!reading.frameSize) {
            continue;
        }
        const auto width = static_cast<std::uint32_t>(*reading.frameSize >> 32);
        const auto height = static_cast<std::uint32_t>(*reading.frameSize);
        if (width % 2 != 0 || height % 2 != 0) {
            continue;
        }
        const std::optional<Rate> rate = ChooseRate(reading);
        if (!rate) {
            continue;
        }
        if (IsOversize(width, height)) {
            // Squares count as landscape. At an equal rate the earlier type keeps the slot.
            Rate& candidate = height <= width ? landscape : portrait;
            if (candidate.numerator == 0 || IsHigher(*rate, candidate)) {
                candidate = *rate;
            }
            continue;
        }
        const CameraCapability tuple = {width, height, rate->numerator, rate->denominator};
        if (!seen(tuple)) {
            list.push_back(tuple);
        }
    }
    AppendFoldedFormat(list, 1280, 720, landscape);
    AppendFoldedFormat(list, 720, 1280, portrait);

    std::sort(list.begin(), list.end(), [](const CameraCapability& a, const CameraCapability& b) {
        const std::uint64_t pixelsA = PixelCount(a);
        const std::uint64_t pixelsB = PixelCount(b);
        if (pixelsA != pixelsB) {
            return pixelsA > pixelsB;
        }
        return IsHigher(RateOf(a), RateOf(b));
    });
    if (list.size() > kMaxCapabilities) {
        list.resize(kMaxCapabilities);
    }
    return list;
}

CameraSelection SelectCamera(std::optional<std::uint32_t> deviceCount, std::int32_t cameraIndex) {
    using Kind = CameraSelection::Kind;
    if (!deviceCount) {
        return {Kind::kNoList, 0};
    }
    if (cameraIndex < 0) {
        return {Kind::kNegative, 0};
    }
    if (static_cast<std::uint32_t>(cameraIndex) >= *deviceCount) {
        return {Kind::kPastTheEnd, 0};
    }
    return {Kind::kDevice, static_cast<std::uint32_t>(cameraIndex)};
}

bool IsVirtualCamera(const CameraDevice& device) {
    constexpr std::u16string_view kLinkStart = u"\\\\?\\swd#vcamdevapi#";
    constexpr std::u16string_view kNameEnd = u"Windows Virtual Camera";
    const std::u16string link = ToLowerUnits(device.symbolicLink.substr(0, kLinkStart.size()));
    const std::u16string_view name = device.friendlyName;
    return link == kLinkStart || (name.size() >= kNameEnd.size() &&
                                  name.substr(name.size() - kNameEnd.size()) == kNameEnd);
}

bool OpenFailed(const CameraDevice& device) {
    return device.activation && (*device.activation & 0x80000000U) != 0;
}

std::u16string_view ActivationFailureReason(std::uint32_t result) {
    static const struct {
        std::uint32_t result;
        std::u16string_view reason;
    } kReasons[] = {
        {0x80070005,
         u"access denied: camera access for desktop apps is off in the privacy "
         u"settings"},                                   // E_ACCESSDENIED
        {0xC00D3704, u"in use by another application"},  // HW_MFT_FAILED_START_STREAMING
        {0xC00D3EA3, u"in use by another application"},  // ..._DEVICE_PREEMPTED
        {0x80070020, u"in use by another application"},  // ERROR_SHARING_VIOLATION
        {0x800700AA, u"in use by another application"},  // ERROR_BUSY
        {0xC00D3EA2, u"gone: unplugged or disabled"},    // ..._DEVICE_INVALIDATED
        {0x8007048F, u"gone: unplugged or disabled"},    // ERROR_DEVICE_NOT_CONNECTED
        {0x80070490, u"gone: unplugged or disabled"},    // ERROR_NOT_FOUND
        {0x80070002, u"gone: unplugged or disabled"},    // ERROR_FILE_NOT_FOUND
        {0x8007001F, u"the device does not work (driver failure)"},  // ERROR_GEN_FAILURE
    };
    for (const auto& r : kReasons) {
        if (r.result == result) {
            return r.reason;
        }
    }
    return {};
}

void NativeTypeWalk::Record(NativeTypeResult result) {
    if (result == NativeTypeResult::kNoMoreTypes) {
        done = true;
        return;
    }
    failedInARow = result == NativeTypeResult::kFailed ? failedInARow + 1 : 0;
    ++typeIndex;
    done = failedInARow >= kMaxFailedTypeIndexesInARow || typeIndex >= kNativeTypeIndexLimit;
}

}  // namespace orbelune
