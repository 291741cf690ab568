// The control tool's reports, each one value (report.h) made from the facts or the findings.
#pragma once

#include <cstdint>
#include <string>

#include "tools/ctl/doctor.h"
#include "tools/ctl/facts.h"
#include "tools/report/report.h"

namespace orbelune {

// The settings and their sources, the camera, agent, producer, logon entries, blocks and log.
Node StatusReport(const Facts& facts);

// One line per camera: its index, name and link, whether it is virtual or cannot be opened, and
// a mark on the one `cameraIndex` names; with no camera, or no list, one line that says so.
Node CamerasReport(const CameraListing& listing, std::int32_t cameraIndex);

// {"findings":[{kind, problem, evidence, action}]}, numbered in text; one line for none.
Node DoctorReport(const std::vector<Finding>& findings);

// "camera: CameraIndex N names ...": the camera, and whether the agent can read its formats.
Node ConfiguredCamera(const CameraListing& listing, std::int32_t cameraIndex);

// A setting's effective value as text: numbers in decimal, a switch 1 or 0, texts as they are.
std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective);

}  // namespace orbelune
