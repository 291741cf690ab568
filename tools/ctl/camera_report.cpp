#include "tools/ctl/camera_report.h"

#include "common/text.h"

namespace orbelune {
namespace {

constexpr std::string_view kFallback = "the agent publishes the 1280x720@30 fallback";

bool Failed(const CameraDevice& camera) {
    return camera.activation && (*camera.activation & 0x80000000U) != 0;
}

// "cannot be opened: REASON (0x...)", or "" for a camera that opened or was not tried.
std::string OpenFailure(const CameraDevice& camera) {
    if (!Failed(camera)) {
        return {};
    }
    const std::u16string_view reason = ActivationFailureReason(*camera.activation);
    return "cannot be opened: " + (reason.empty() ? std::string("error") : ToUtf8(reason)) + " (" +
           HexText(*camera.activation) + ")";
}

CameraSelection SelectIn(const CameraListing& listing, std::int32_t cameraIndex) {
    return SelectCamera(listing.listed
                            ? std::optional(static_cast<std::uint32_t>(listing.devices.size()))
                            : std::nullopt,
                        cameraIndex);
}

bool Names(CameraSelection selection, std::uint32_t device) {
    return selection.kind == CameraSelection::Kind::kDevice && selection.device == device;
}

std::string Named(const CameraDevice& camera) {
    std::string text = "\"";
    text += ToUtf8(camera.friendlyName);
    text += "\" (";
    text += ToUtf8(camera.symbolicLink);
    return text + ")";
}

void WriteCameraJson(JsonWriter& json, const CameraDevice& camera, std::uint32_t index,
                     bool selected) {
    json.BeginObject();
    json.Member("index", index);
    json.Member("friendlyName", camera.friendlyName);
    json.Member("symbolicLink", camera.symbolicLink);
    json.Member("virtual", IsVirtualCamera(camera));
    json.Member("selected", selected);
    if (Failed(camera)) {
        json.Member("openError", HexText(*camera.activation));
        json.Member("openFailure", ActivationFailureReason(*camera.activation));
    } else {
        json.Member("openError", nullptr);
    }
    json.EndObject();
}

}  // namespace

std::string CamerasText(const CameraListing& listing, std::int32_t cameraIndex) {
    if (!listing.listed) {
        return "the cameras cannot be listed: MFEnumDeviceSources failed with " +
               HexText(listing.error) + "; " + std::string(kFallback) + "\n";
    }
    if (listing.devices.empty()) {
        return "no camera: Media Foundation lists no video-capture device; " +
               std::string(kFallback) + "\n";
    }
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    std::string text;
    for (std::uint32_t i = 0; i < listing.devices.size(); ++i) {
        const CameraDevice& camera = listing.devices[i];
        text += std::to_string(i) + "  " + Named(camera);
        text += IsVirtualCamera(camera) ? "  virtual camera" : "";
        text += Failed(camera) ? "  " + OpenFailure(camera) : "";
        text += Names(selection, i) ? "  <- CameraIndex\n" : "\n";
    }
    return text;
}

std::string CamerasJson(const CameraListing& listing, std::int32_t cameraIndex) {
    JsonWriter json;
    json.BeginObject();
    json.Member("cameraIndex", cameraIndex);
    json.Member("listError", listing.listed ? std::nullopt : std::optional(HexText(listing.error)));
    json.Key("cameras");
    json.BeginArray();
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    for (std::uint32_t i = 0; i < listing.devices.size(); ++i) {
        WriteCameraJson(json, listing.devices[i], i, Names(selection, i));
    }
    json.EndArray();
    json.EndObject();
    return json.Text() + "\n";
}

std::string ConfiguredCameraText(const CameraListing& listing, std::int32_t cameraIndex) {
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    const size_t count = listing.devices.size();
    std::string text = "camera: CameraIndex " + std::to_string(cameraIndex);
    switch (selection.kind) {
        case CameraSelection::Kind::kNoList:
            return text + " cannot be looked up: MFEnumDeviceSources failed with " +
                   HexText(listing.error) + "\n";
        case CameraSelection::Kind::kNegative:
            return text + " is negative and names no camera; " + std::string(kFallback) + "\n";
        case CameraSelection::Kind::kPastTheEnd:
            return text + " names no camera: " +
                   (count == 0
                        ? std::string("Media Foundation lists none")
                        : std::to_string(count) + " listed, 0 to " + std::to_string(count - 1)) +
                   "; " + std::string(kFallback) + "\n";
        case CameraSelection::Kind::kDevice:
            break;
    }
    const CameraDevice& camera = listing.devices[selection.device];
    text += " names " + Named(camera);
    if (IsVirtualCamera(camera)) {
        text += ", a virtual camera, not a real one";
    }
    if (Failed(camera)) {
        text += "; it " + OpenFailure(camera) + ", so " + std::string(kFallback);
    }
    return text + "\n";
}

void WriteConfiguredCameraJson(JsonWriter& json, const CameraListing& listing,
                               std::int32_t cameraIndex) {
    json.Key("camera");
    json.BeginObject();
    json.Member("listedCameras",
                listing.listed ? std::optional(listing.devices.size()) : std::nullopt);
    json.Key("named");
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    if (selection.kind == CameraSelection::Kind::kDevice) {
        WriteCameraJson(json, listing.devices[selection.device], selection.device, true);
    } else {
        json.Null();
    }
    json.EndObject();
}

}  // namespace orbelune
