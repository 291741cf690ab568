#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <optional>

#include "common/com_ptr_win.h"
#include "common/handles_win.h"

namespace orbelune {
namespace {

std::optional<std::uint64_t> ReadUint64(IMFMediaType* type, REFGUID key) {
    UINT64 value = 0;
    if (FAILED(type->GetUINT64(key, &value))) {
        return std::nullopt;
    }
    return value;
}

// The video-capture devices that `query` lists, each owned, in the enumeration's order; the
// array they came in is freed before returning. Nothing when the enumeration fails.
std::optional<std::vector<ComPtr<IMFActivate>>> ListDevices(IMFAttributes* query) {
    IMFActivate** array = nullptr;
    UINT32 count = 0;
    if (FAILED(MFEnumDeviceSources(query, &array, &count))) {
        return std::nullopt;
    }
    const UniqueCoTaskMemory<IMFActivate*> arrayOwner(array);
    std::vector<ComPtr<IMFActivate>> devices;
    for (UINT32 i = 0; i < count; ++i) {
        devices.emplace_back(array[i]);
    }
    return devices;
}

// The media source of device number `cameraIndex`, or null. Every device is released before
// returning, whether a source came back or not.
ComPtr<IMFMediaSource> ActivateDevice(IMFAttributes* query, std::int32_t cameraIndex) {
    ComPtr<IMFMediaSource> source;
    const auto devices = ListDevices(query);
    if (devices && cameraIndex >= 0 && static_cast<size_t>(cameraIndex) < devices->size() &&
        (*devices)[cameraIndex]) {
        // Only whether a source came back counts, not the call's result.
        (void)(*devices)[cameraIndex]->ActivateObject(IID_IMFMediaSource,
                                                      reinterpret_cast<void**>(source.Put()));
    }
    return source;
}

// An attribute store that asks for video-capture devices; empty when it cannot be made.
ComPtr<IMFAttributes> VideoCaptureQuery() {
    ComPtr<IMFAttributes> query;
    if (FAILED(MFCreateAttributes(query.Put(), 1)) || !query ||
        FAILED(query->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                              MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID))) {
        return {};
    }
    return query;
}

}  // namespace

NativeTypeReading ReadNativeType(IMFMediaType* type) noexcept {
    NativeTypeReading reading;
    reading.frameRate = ReadUint64(type, MF_MT_FRAME_RATE);
    reading.frameRateRangeMax = ReadUint64(type, MF_MT_FRAME_RATE_RANGE_MAX);
    if (reading.frameRateRangeMax) {
        reading.frameRateRangeMin = ReadUint64(type, MF_MT_FRAME_RATE_RANGE_MIN);
    }
    reading.frameSize = ReadUint64(type, MF_MT_FRAME_SIZE);
    return reading;
}

std::vector<NativeTypeReading> ReadNativeTypes(IMFSourceReader* reader) noexcept {
    std::vector<NativeTypeReading> readings;
    for (NativeTypeWalk walk; !walk.done;) {
        ComPtr<IMFMediaType> type;  // released before the next index is asked for
        const HRESULT result = reader->GetNativeMediaType(
            static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), walk.typeIndex, type.Put());
        if (result == MF_E_NO_MORE_TYPES) {
            walk.Record(NativeTypeResult::kNoMoreTypes);
        } else if (FAILED(result) || !type) {
            walk.Record(NativeTypeResult::kFailed);  // a success without a type included
        } else {
            readings.push_back(ReadNativeType(type.Get()));
            walk.Record(NativeTypeResult::kType);
        }
    }
    return readings;
}

std::vector<CameraCapability> EnumerateCameraCapabilities(std::int32_t cameraIndex) noexcept {
    // Declared in this order so that they are released reader first, then source, then store.
    const ComPtr<IMFAttributes> query = VideoCaptureQuery();
    if (!query) {
        return {};
    }
    const ComPtr<IMFMediaSource> source = ActivateDevice(query.Get(), cameraIndex);
    if (!source) {
        return {};
    }
    // Without attributes, releasing the reader shuts the source down as well.
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put())) ||
        !reader) {
        return {};
    }
    const std::vector<NativeTypeReading> readings = ReadNativeTypes(reader.Get());
    return SelectNativeFormats(readings);
}

std::optional<std::uint32_t> CountCameras() noexcept {
    const ComPtr<IMFAttributes> query = VideoCaptureQuery();
    const auto devices = query ? ListDevices(query.Get()) : std::nullopt;
    if (!devices) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(devices->size());
}

}  // namespace orbelune
