// The cameras as the agent counts camera indexes, for the control tool: the `cameras` command,
// and the line of `status` that says which camera the configured index names.
#pragma once

#include <cstdint>
#include <string>

#include "capabilities/capabilities.h"
#include "tools/report/json_writer.h"

namespace orbelune {

// One line per camera: the index CameraIndex takes, the name, the link, "virtual camera" for
// one, why it cannot be opened for one that cannot, and a mark on the one `cameraIndex` names.
// With no camera, or no list, one line that says so.
std::string CamerasText(const CameraListing& listing, std::int32_t cameraIndex);
std::string CamerasJson(const CameraListing& listing, std::int32_t cameraIndex);

// "camera: ..." what `cameraIndex` names, and whether the agent can read formats from it.
std::string ConfiguredCameraText(const CameraListing& listing, std::int32_t cameraIndex);
void WriteConfiguredCameraJson(JsonWriter& json, const CameraListing& listing,
                               std::int32_t cameraIndex);

}  // namespace orbelune
