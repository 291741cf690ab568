// The Media Foundation side of the camera capabilities: the attributes read from real media
// types, and the device walk as Wine presents it (no camera at all).
#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "common/com_ptr_win.h"

namespace orbelune {
namespace {

// COM and Media Foundation started around the suite, as the agent's entry point starts them
// once for its whole life; the code under test never starts them itself.
class CapabilitiesWinTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE)));
    }
    static void TearDownTestSuite() {
        MFShutdown();
        CoUninitialize();
    }
};

TEST_F(CapabilitiesWinTest, ReadsThePackedAttributesOfAMediaType) {
    // Each attribute set with Media Foundation's own packing helper, or not at all when 0.
    static const struct {
        UINT32 size[2], rate[2], rangeMax[2], rangeMin[2];
        std::optional<std::uint64_t> wantSize, wantRate, wantMax, wantMin;
    } kCases[] = {
        {{1920, 1080},
         {30000, 1001},
         {60, 1},
         {5, 2},
         1920ULL << 32 | 1080,
         30000ULL << 32 | 1001,
         60ULL << 32 | 1,
         5ULL << 32 | 2},
        {{720, 1280}, {15, 1}, {}, {}, 720ULL << 32 | 1280, 15ULL << 32 | 1, {}, {}},
        // The range minimum is not read without a maximum.
        {{}, {}, {}, {5, 1}, {}, {}, {}, {}},
    };
    for (const auto& c : kCases) {
        ComPtr<IMFMediaType> type;
        ASSERT_TRUE(SUCCEEDED(MFCreateMediaType(type.Put())));
        const std::pair<const GUID*, const UINT32*> kAttributes[] = {
            {&MF_MT_FRAME_SIZE, c.size},
            {&MF_MT_FRAME_RATE, c.rate},
            {&MF_MT_FRAME_RATE_RANGE_MAX, c.rangeMax},
            {&MF_MT_FRAME_RATE_RANGE_MIN, c.rangeMin}};
        for (const auto& [key, value] : kAttributes) {
            if (value[0] != 0) {
                MFSetAttributeRatio(type.Get(), *key, value[0], value[1]);
            }
        }
        const NativeTypeReading reading = ReadNativeType(type.Get());
        EXPECT_EQ(reading.frameSize, c.wantSize);
        EXPECT_EQ(reading.frameRate, c.wantRate);
        EXPECT_EQ(reading.frameRateRangeMax, c.wantMax);
        EXPECT_EQ(reading.frameRateRangeMin, c.wantMin);
    }
    // An attribute of another type than UINT64 counts as missing.
    ComPtr<IMFMediaType> odd;
    ASSERT_TRUE(SUCCEEDED(MFCreateMediaType(odd.Put())));
    odd->SetUINT32(MF_MT_FRAME_SIZE, 640);
    odd->SetDouble(MF_MT_FRAME_RATE, 30.0);
    EXPECT_FALSE(ReadNativeType(odd.Get()).frameSize);
    EXPECT_FALSE(ReadNativeType(odd.Get()).frameRate);
}

TEST_F(CapabilitiesWinTest, NoCameraGivesAnEmptyList) {
    // Wine offers no video-capture device, so every index lies outside the device list.
    for (const std::int32_t index : {-1, 0, 1, 2147483647, -2147483647 - 1}) {
        EXPECT_TRUE(EnumerateCameraCapabilities(index).empty()) << index;
    }
}

}  // namespace
}  // namespace orbelune
