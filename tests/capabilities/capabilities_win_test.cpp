// The Media Foundation side of the camera capabilities: attributes read from real media types,
// the native-type walk over a source reader, and the device walk as Wine presents it.
#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <mferror.h>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "common/com_ptr_win.h"
#include "tests/capabilities/media_foundation_test_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using Ratio = std::pair<std::uint32_t, std::uint32_t>;

constexpr std::uint64_t Pack(std::uint32_t high, std::uint32_t low) {
    return std::uint64_t{high} << 32 | low;
}

ComPtr<IMFMediaType> MakeVideoType(const GUID& subtype, std::optional<Ratio> size,
                                   std::optional<Ratio> rate, std::optional<Ratio> rangeMax = {},
                                   std::optional<Ratio> rangeMin = {}) {
    ComPtr<IMFMediaType> type;
    EXPECT_TRUE(SUCCEEDED(MFCreateMediaType(type.Put())));
    if (!type) {
        return type;
    }
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    // MF's own packing helpers, so that the test does not restate the layout being read.
    if (size) {
        MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, size->first, size->second);
    }
    if (rate) {
        MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, rate->first, rate->second);
    }
    if (rangeMax) {
        MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE_RANGE_MAX, rangeMax->first,
                            rangeMax->second);
    }
    if (rangeMin) {
        MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE_RANGE_MIN, rangeMin->first,
                            rangeMin->second);
    }
    return type;
}

using CapabilitiesWinTest = testing::MediaFoundationTest;

TEST_F(CapabilitiesWinTest, ReadsPackedAttributesOfAMediaType) {
    constexpr std::nullopt_t kNone = std::nullopt;
    struct Attributes {
        std::optional<Ratio> size, rate, rangeMax, rangeMin;
    };
    static const struct {
        const char* label;
        Attributes set;
        NativeTypeReading want;  // rate, range maximum, range minimum, size
    } kCases[] = {
        {"all four",
         {Ratio{1920, 1080}, Ratio{30000, 1001}, Ratio{60, 1}, Ratio{5, 2}},
         {Pack(30000, 1001), Pack(60, 1), Pack(5, 2), Pack(1920, 1080)}},
        {"portrait, no range",
         {Ratio{720, 1280}, Ratio{15, 1}, kNone, kNone},
         {Pack(15, 1), kNone, kNone, Pack(720, 1280)}},
        {"range minimum is not read without a maximum",
         {Ratio{640, 480}, kNone, kNone, Ratio{5, 1}},
         {kNone, kNone, kNone, Pack(640, 480)}},
        {"nothing at all", {}, {}},
        {"zero values are values",
         {Ratio{0, 0}, Ratio{0, 1}, Ratio{30, 0}, Ratio{0, 0}},
         {Pack(0, 1), Pack(30, 0), Pack(0, 0), Pack(0, 0)}},
    };
    for (const auto& c : kCases) {
        const ComPtr<IMFMediaType> type = MakeVideoType(MFVideoFormat_NV12, c.set.size, c.set.rate,
                                                        c.set.rangeMax, c.set.rangeMin);
        ASSERT_TRUE(type);
        const NativeTypeReading reading = ReadNativeType(type.Get());
        EXPECT_EQ(reading.frameRate, c.want.frameRate) << c.label;
        EXPECT_EQ(reading.frameRateRangeMax, c.want.frameRateRangeMax) << c.label;
        EXPECT_EQ(reading.frameRateRangeMin, c.want.frameRateRangeMin) << c.label;
        EXPECT_EQ(reading.frameSize, c.want.frameSize) << c.label;
    }

    // An attribute of another type than UINT64 counts as missing.
    const ComPtr<IMFMediaType> odd = MakeVideoType(MFVideoFormat_NV12, {}, Ratio{30, 1});
    ASSERT_TRUE(odd);
    odd->SetUINT32(MF_MT_FRAME_SIZE, 640);
    odd->SetDouble(MF_MT_FRAME_RATE_RANGE_MAX, 30.0);
    const NativeTypeReading reading = ReadNativeType(odd.Get());
    EXPECT_FALSE(reading.frameSize);
    EXPECT_FALSE(reading.frameRateRangeMax);
    EXPECT_EQ(reading.frameRate, Pack(30, 1));
}

struct SourceObservations {
    std::atomic<bool> shutDown{false};
    std::atomic<bool> destroyed{false};
};

// A media source with one video stream whose native types are the given ones, standing in for
// a camera. Events go through a real Media Foundation event queue, as the source reader
// listens for them.
class TestMediaSource final : public IMFMediaSource {
  public:
    static ComPtr<IMFMediaSource> Create(const std::vector<ComPtr<IMFMediaType>>& types,
                                         SourceObservations& observations) {
        std::vector<IMFMediaType*> raw;
        for (const auto& type : types) {
            raw.push_back(type.Get());
        }
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        if (FAILED(MFCreateStreamDescriptor(0, static_cast<DWORD>(raw.size()), raw.data(),
                                            stream.Put())) ||
            FAILED(stream->GetMediaTypeHandler(handler.Put())) ||
            FAILED(handler->SetCurrentMediaType(raw.front()))) {
            return {};
        }
        IMFStreamDescriptor* streams[] = {stream.Get()};
        ComPtr<IMFPresentationDescriptor> descriptor;
        ComPtr<IMFMediaEventQueue> queue;
        if (FAILED(MFCreatePresentationDescriptor(1, streams, descriptor.Put())) ||
            FAILED(descriptor->SelectStream(0)) || FAILED(MFCreateEventQueue(queue.Put()))) {
            return {};
        }
        return ComPtr<IMFMediaSource>(
            new TestMediaSource(std::move(descriptor), std::move(queue), observations));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, __uuidof(IUnknown)) ||
            IsEqualIID(riid, __uuidof(IMFMediaEventGenerator)) ||
            IsEqualIID(riid, __uuidof(IMFMediaSource))) {
            *object = static_cast<IMFMediaSource*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetEvent(DWORD flags, IMFMediaEvent** event) override {
        return queue_->GetEvent(flags, event);
    }
    HRESULT STDMETHODCALLTYPE BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override {
        return queue_->BeginGetEvent(callback, state);
    }
    HRESULT STDMETHODCALLTYPE EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override {
        return queue_->EndGetEvent(result, event);
    }
    HRESULT STDMETHODCALLTYPE QueueEvent(MediaEventType type, REFGUID extended, HRESULT status,
                                         const PROPVARIANT* value) override {
        return queue_->QueueEventParamVar(type, extended, status, value);
    }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD* characteristics) override {
        *characteristics = MFMEDIASOURCE_IS_LIVE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override {
        return descriptor_->Clone(descriptor);
    }
    HRESULT STDMETHODCALLTYPE Start(IMFPresentationDescriptor*, const GUID*,
                                    const PROPVARIANT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Shutdown() override {
        observations_.shutDown = true;
        return queue_->Shutdown();
    }

  private:
    TestMediaSource(ComPtr<IMFPresentationDescriptor> descriptor, ComPtr<IMFMediaEventQueue> queue,
                    SourceObservations& observations)
        : descriptor_(std::move(descriptor)),
          queue_(std::move(queue)),
          observations_(observations) {}
    ~TestMediaSource() { observations_.destroyed = true; }

    std::atomic<ULONG> references_{1};
    ComPtr<IMFPresentationDescriptor> descriptor_;
    ComPtr<IMFMediaEventQueue> queue_;
    SourceObservations& observations_;
};

TEST_F(CapabilitiesWinTest, ReadsACameraThroughARealSourceReader) {
    // The worked example of a camera, plus a portrait type and one that only gives a range.
    std::vector<ComPtr<IMFMediaType>> types;
    types.push_back(MakeVideoType(MFVideoFormat_NV12, Ratio{1920, 1080}, Ratio{30, 1}));
    types.push_back(MakeVideoType(MFVideoFormat_NV12, Ratio{1280, 720}, Ratio{15, 1}));
    types.push_back(MakeVideoType(MFVideoFormat_YUY2, Ratio{1280, 720}, Ratio{15, 1}));
    types.push_back(MakeVideoType(MFVideoFormat_YUY2, Ratio{640, 480}, Ratio{30, 1}));
    types.push_back(MakeVideoType(MFVideoFormat_NV12, Ratio{1080, 1920}, Ratio{24, 1}));
    types.push_back(
        MakeVideoType(MFVideoFormat_NV12, Ratio{320, 240}, {}, Ratio{30, 1}, Ratio{10, 1}));
    SourceObservations observations;
    ComPtr<IMFMediaSource> source = TestMediaSource::Create(types, observations);
    ASSERT_TRUE(source);

    ComPtr<IMFSourceReader> reader;
    const HRESULT created =
        MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put());
    ASSERT_TRUE(SUCCEEDED(created)) << std::hex << created;
    const std::vector<NativeTypeReading> readings = ReadNativeTypes(reader.Get());
    EXPECT_EQ(readings.size(), types.size());
    const std::vector<CameraCapability> want = {{1280, 720, 30, 1},
                                                {720, 1280, 24, 1},
                                                {1280, 720, 15, 1},
                                                {640, 480, 30, 1},
                                                {320, 240, 10, 1}};
    EXPECT_EQ(SelectNativeFormats(readings), want);

    // Created without attributes, the reader shuts the source down when it is released.
    reader.Reset();
    EXPECT_TRUE(testing::WaitUntil([&] { return observations.shutDown.load(); }, 5000));
    source.Reset();
    EXPECT_TRUE(testing::WaitUntil([&] { return observations.destroyed.load(); }, 5000));
}

TEST_F(CapabilitiesWinTest, NoCameraGivesAnEmptyList) {
    // Wine offers no video-capture device source, so every index lies outside the device list.
    static const std::int32_t kIndexes[] = {-1, 0, 1, std::numeric_limits<std::int32_t>::max(),
                                            std::numeric_limits<std::int32_t>::min()};
    for (const std::int32_t index : kIndexes) {
        EXPECT_TRUE(EnumerateCameraCapabilities(index).empty()) << index;
    }
}

}  // namespace
}  // namespace orbelune
