// The Media Foundation side of the camera capabilities: the attributes read from real media
// types, and the device walk as Wine presents it (no camera at all).
#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "common/com_ptr_win.h"

namespace orbelune {
namespace {

TEST(CapabilitiesWinTest, ReadsMediaTypesAndFindsNoCamera) {
    // Started as the agent's entry point starts them; the code under test never does.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE)));
    // Frame size, rate, range maximum and range minimum, each set with Media Foundation's own
    // packing helper, or left out when 0. The minimum is read only when the maximum is there.
    static const std::uint32_t kSet[][8] = {{1920, 1080, 30000, 1001, 60, 1, 5, 2},
                                            {720, 1280, 15, 1, 0, 0, 5, 1}};
    const GUID* const kKeys[] = {&MF_MT_FRAME_SIZE, &MF_MT_FRAME_RATE, &MF_MT_FRAME_RATE_RANGE_MAX,
                                 &MF_MT_FRAME_RATE_RANGE_MIN};
    for (const auto& set : kSet) {
        ComPtr<IMFMediaType> type;
        ASSERT_TRUE(SUCCEEDED(MFCreateMediaType(type.Put())));
        for (size_t i = 0; i < 4; ++i) {
            if (set[2 * i] != 0) {
                MFSetAttributeRatio(type.Get(), *kKeys[i], set[2 * i], set[2 * i + 1]);
            }
        }
        const auto packed = [&](size_t i) {
            return set[2 * i] == 0 || (set[4] == 0 && i == 3)
                       ? std::nullopt
                       : std::optional(std::uint64_t{set[2 * i]} << 32 | set[2 * i + 1]);
        };
        const NativeTypeReading r = ReadNativeType(type.Get());
        EXPECT_EQ(std::vector({r.frameSize, r.frameRate, r.frameRateRangeMax, r.frameRateRangeMin}),
                  std::vector({packed(0), packed(1), packed(2), packed(3)}));
    }
    // An attribute of another type than UINT64 counts as missing.
    ComPtr<IMFMediaType> odd;
    ASSERT_TRUE(SUCCEEDED(MFCreateMediaType(odd.Put())));
    odd->SetUINT32(MF_MT_FRAME_SIZE, 640);
    odd->SetDouble(MF_MT_FRAME_RATE, 30.0);
    EXPECT_FALSE(ReadNativeType(odd.Get()).frameSize || ReadNativeType(odd.Get()).frameRate);

    // Wine offers no video-capture device, so every index lies outside the device list.
    EXPECT_TRUE(EnumerateCameraCapabilities(0).empty() && EnumerateCameraCapabilities(-1).empty());
    MFShutdown();
    CoUninitialize();
}

}  // namespace
}  // namespace orbelune
