// The Media Foundation walk over the configured camera's native media types.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <vector>

#include "capabilities/capabilities.h"
#include "common/com_ptr_win.h"

namespace orbelune {

// The native formats of the video-capture device at `cameraIndex`, in the order that
// MFEnumDeviceSources lists the devices, chosen by SelectNativeFormats. Empty on any failure,
// for a negative or too large index, and for a camera without a usable type alike. Expects
// COM (multithreaded apartment) and Media Foundation to be started on the calling thread; it
// neither starts nor stops them. Logs nothing.
std::vector<CameraCapability> EnumerateCameraCapabilities(std::int32_t cameraIndex) noexcept;

// The walk of EnumerateCameraCapabilities from the device list on: `devices` and `count` as
// MFEnumDeviceSources hands them out, both owned from here on. Activates the device that
// `cameraIndex` selects (SelectCamera), then releases every device and frees the array, reads
// the source's native types through a source reader, and releases the reader, then the source.
std::vector<CameraCapability> CapabilitiesOfListedCamera(IMFActivate** devices, UINT32 count,
                                                         std::int32_t cameraIndex) noexcept;

// An attribute store that asks MFEnumDeviceSources for video-capture devices; empty when it
// cannot be made.
ComPtr<IMFAttributes> VideoCaptureQuery() noexcept;

// The video-capture devices as the agent counts them, from what MFEnumDeviceSources gave: its
// result, and `devices` and `count`, owned from here on. Each with its name and link; a real
// camera also with the result of activating it as a media source (shut down again at once). A
// virtual camera is known by its name and link before anything is done to it and is never
// activated: its full media source can lock other applications out of it. Every device is
// released and the array freed. Expects COM and Media Foundation as above.
CameraListing ListCameras(HRESULT enumeration, IMFActivate** devices, UINT32 count) noexcept;

// ListCameras of Media Foundation's own list.
CameraListing ListCameras() noexcept;

// The native types of the reader's first video stream, in index order, each read with
// ReadNativeType. The walk ends at MF_E_NO_MORE_TYPES or at a bound of NativeTypeWalk; an
// index that fails otherwise is passed over. Each media type is released before the next is
// asked for.
std::vector<NativeTypeReading> ReadNativeTypes(IMFSourceReader* reader) noexcept;

// The rate, rate range and frame size attributes of one media type, in that order; the range
// minimum only when the maximum was there. An attribute that is missing or not a UINT64 is
// left empty.
NativeTypeReading ReadNativeType(IMFMediaType* type) noexcept;

}  // namespace orbelune
