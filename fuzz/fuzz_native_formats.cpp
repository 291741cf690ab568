// The format selection over any native types: at most kMaxCapabilities formats, each with even
// sides within 1280x720 in either orientation and a rate of at most 30 with no zero term, no
// two alike, sorted by pixel count and then rate (compared by cross products).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "capabilities/capabilities.h"

namespace {

// Packed as Media Foundation packs sizes and rates: first << 32 | second. Small values most
// of the time, so that the rules' thresholds are reached.
std::optional<std::uint64_t> Packed(FuzzedDataProvider& data) {
    if (!data.ConsumeBool()) {
        return std::nullopt;
    }
    const std::uint32_t most = data.ConsumeBool() ? 0xFFFFFFFF : 2000;
    const std::uint64_t first = data.ConsumeIntegralInRange<std::uint32_t>(0, most);
    return first << 32 | data.ConsumeIntegralInRange<std::uint32_t>(0, most);
}

}  // namespace

// Ends the run when a property fails, so that libFuzzer keeps the input that broke it.
#define REQUIRE(condition) ((condition) ? void() : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
    using namespace orbelune;
    FuzzedDataProvider data(bytes, size);
    std::vector<NativeTypeReading> readings(data.ConsumeIntegralInRange<size_t>(0, 300));
    for (NativeTypeReading& reading : readings) {
        reading.frameRate = Packed(data);
        reading.frameRateRangeMax = Packed(data);
        reading.frameRateRangeMin = reading.frameRateRangeMax ? Packed(data) : std::nullopt;
        reading.frameSize = Packed(data);
    }

    const std::vector<CameraCapability> list = SelectNativeFormats(readings);
    REQUIRE(list.size() <= kMaxCapabilities);
    for (const CameraCapability& c : list) {
        REQUIRE(c.width % 2 == 0 && c.height % 2 == 0);
        REQUIRE(std::max(c.width, c.height) <= 1280 && std::min(c.width, c.height) <= 720);
        REQUIRE(c.frameRateNumerator != 0 && c.frameRateDenominator != 0);
        REQUIRE(std::uint64_t{c.frameRateNumerator} <= 30 * std::uint64_t{c.frameRateDenominator});
        REQUIRE(std::count(list.begin(), list.end(), c) == 1);
    }
    REQUIRE(std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
        const std::uint64_t pixelsA = std::uint64_t{a.width} * a.height;
        const std::uint64_t pixelsB = std::uint64_t{b.width} * b.height;
        return pixelsA > pixelsB ||
               (pixelsA == pixelsB &&
                std::uint64_t{a.frameRateNumerator} * b.frameRateDenominator >
                    std::uint64_t{b.frameRateNumerator} * a.frameRateDenominator);
    }));
    return 0;
}
