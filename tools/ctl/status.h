// What `status` and `cameras` show, each as one report value made from the facts.
#pragma once

#include <cstdint>
#include <string>

#include "tools/ctl/facts.h"
#include "tools/report/report.h"

namespace orbelune {

// The effective settings and where each comes from, the camera CameraIndex names, the agent and
// the producer, the logon entries, the three blocks and the end of the log.
Node StatusReport(const Facts& facts);

// One line per camera: the index CameraIndex takes, the name, the link, "virtual camera" for
// one, why it cannot be opened for one that cannot, and a mark on the one `cameraIndex` names.
// With no camera, or no list, one line that says so.
Node CamerasReport(const CameraListing& listing, std::int32_t cameraIndex);

// "camera: CameraIndex N names ...": what the index names, and whether the agent can read
// formats from it.
Node ConfiguredCamera(const CameraListing& listing, std::int32_t cameraIndex);

// A setting's effective value as text, as the agent's rules make it: numbers in decimal, a
// switch as 1 or 0, texts as they are.
std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective);

inline constexpr size_t kStatusLogLines = 10;

}  // namespace orbelune
