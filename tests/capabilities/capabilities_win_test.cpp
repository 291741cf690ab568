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
    ComPtr<IMFMediaType> type;
    ASSERT_TRUE(SUCCEEDED(MFCreateMediaType(type.Put())));
    // Each attribute read from its own key, as Media Foundation packs it; the range minimum
    // only once there is a maximum; an attribute of another type counts as missing.
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, 1920, 1080);
    MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE_RANGE_MIN, 5, 2);
    type->SetDouble(MF_MT_FRAME_RATE, 30.0);
    NativeTypeReading r = ReadNativeType(type.Get());
    EXPECT_EQ(r.frameSize, 1920ULL << 32 | 1080);
    EXPECT_FALSE(r.frameRate || r.frameRateRangeMax || r.frameRateRangeMin);
    MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, 30000, 1001);
    MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE_RANGE_MAX, 60, 1);
    r = ReadNativeType(type.Get());
    EXPECT_EQ(r.frameRate, 30000ULL << 32 | 1001);
    EXPECT_EQ(r.frameRateRangeMax, 60ULL << 32 | 1);
    EXPECT_EQ(r.frameRateRangeMin, 5ULL << 32 | 2);

    // Wine offers no video-capture device, so the first index lies outside the device list.
    EXPECT_TRUE(EnumerateCameraCapabilities(0).empty());
    MFShutdown();
    CoUninitialize();
}

}  // namespace
}  // namespace orbelune
