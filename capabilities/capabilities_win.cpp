#include "capabilities/capabilities_win.h"

#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <optional>

#include "common/com_ptr_win.h"
#include "common/handles_win.h"
#include "common/text_win.h"

namespace orbelune {
namespace {

std::optional<std::uint64_t> ReadUint64(IMFMediaType* type, REFGUID key) {
    UINT64 value = 0;
    if (FAILED(type->GetUINT64(key, &value))) {
        return std::nullopt;
    }
    return value;
}

// Takes over the array MFEnumDeviceSources handed out: each device owned, in the list's order,
// and the array freed.
std::vector<ComPtr<IMFActivate>> OwnDevices(IMFActivate** array, UINT32 count) {
    const UniqueCoTaskMemory<IMFActivate*> arrayOwner(array);
    std::vector<ComPtr<IMFActivate>> devices;
    for (UINT32 i = 0; array != nullptr && i < count; ++i) {
        devices.emplace_back(array[i]);
    }
    return devices;
}

std::u16string ReadString(IMFActivate* device, REFGUID key) {
    wchar_t* text = nullptr;
    UINT32 length = 0;
    if (FAILED(device->GetAllocatedString(key, &text, &length))) {
        return {};
    }
    const UniqueCoTaskMemory<wchar_t> owner(text);
    return text != nullptr ? ToU16(std::wstring_view(text, length)) : std::u16string();
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

ComPtr<IMFAttributes> VideoCaptureQuery() noexcept {
    ComPtr<IMFAttributes> query;
    if (FAILED(MFCreateAttributes(query.Put(), 1)) || !query ||
        FAILED(query->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                              MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID))) {
        return {};
    }
    return query;
}

std::vector<CameraCapability> CapabilitiesOfListedCamera(IMFActivate** array, UINT32 count,
                                                         std::int32_t cameraIndex) noexcept {
    // Declared before the reader, so that the reader is released first.
    ComPtr<IMFMediaSource> source;
    {
        const std::vector<ComPtr<IMFActivate>> devices = OwnDevices(array, count);
        const CameraSelection selection =
            SelectCamera(static_cast<std::uint32_t>(devices.size()), cameraIndex);
        if (selection.kind == CameraSelection::Kind::kDevice && devices[selection.device]) {
            // Only whether a source came back counts, not the call's result.
            (void)devices[selection.device]->ActivateObject(IID_IMFMediaSource,
                                                            reinterpret_cast<void**>(source.Put()));
        }
    }  // every device released here, before the reader is made
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

std::vector<CameraCapability> EnumerateCameraCapabilities(std::int32_t cameraIndex) noexcept {
    // Released after everything the walk made.
    const ComPtr<IMFAttributes> query = VideoCaptureQuery();
    IMFActivate** devices = nullptr;
    UINT32 count = 0;
    if (!query || FAILED(MFEnumDeviceSources(query.Get(), &devices, &count))) {
        return {};
    }
    return CapabilitiesOfListedCamera(devices, count, cameraIndex);
}

CameraListing ListCameras(HRESULT enumeration, IMFActivate** array, UINT32 count) noexcept {
    const std::vector<ComPtr<IMFActivate>> devices = OwnDevices(array, count);
    CameraListing listing;
    listing.listed = SUCCEEDED(enumeration);
    listing.error = listing.listed ? 0 : static_cast<std::uint32_t>(enumeration);
    for (size_t i = 0; listing.listed && i < devices.size(); ++i) {
        IMFActivate* device = devices[i].Get();
        CameraDevice& camera = listing.devices.emplace_back();
        if (device == nullptr) {
            continue;
        }
        camera.friendlyName = ReadString(device, MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME);
        camera.symbolicLink =
            ReadString(device, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK);
        if (IsVirtualCamera(camera)) {
            continue;
        }
        ComPtr<IMFMediaSource> source;
        const HRESULT result =
            device->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(source.Put()));
        camera.activation = static_cast<std::uint32_t>(FAILED(result) ? result
                                                       : source       ? S_OK
                                                                      : E_NOINTERFACE);
        if (source) {
            source->Shutdown();
        }
        device->ShutdownObject();
    }
    return listing;
}

CameraListing ListCameras() noexcept {
    const ComPtr<IMFAttributes> query = VideoCaptureQuery();
    IMFActivate** devices = nullptr;
    UINT32 count = 0;
    const HRESULT result = query ? MFEnumDeviceSources(query.Get(), &devices, &count) : E_FAIL;
    return ListCameras(result, devices, count);
}

}  // namespace orbelune
