// The control tool's reports, each one value made from the facts or the findings, which
// report.h renders into text and into JSON.
#pragma once

#include <cstdint>
#include <string>

#include "tools/ctl/doctor.h"
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

// The findings: {"findings":[{kind, problem, evidence, action}]}, numbered for people; one line
// when there are none.
Node DoctorReport(const std::vector<Finding>& findings);

// "camera: CameraIndex N names ...": what the index names, and whether the agent can read
// formats from it.
Node ConfiguredCamera(const CameraListing& listing, std::int32_t cameraIndex);

// A setting's effective value as text, as the agent's rules make it: numbers in decimal, a
// switch as 1 or 0, texts as they are.
std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective);

}  // namespace orbelune
