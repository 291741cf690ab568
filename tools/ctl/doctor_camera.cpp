// The rules about the camera behind CameraIndex: the device the agent would pick, as the
// `cameras` command lists it, and the formats the agent published from it.
#include <algorithm>

#include "common/text.h"
#include "tools/ctl/camera_report.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

bool Failed(const CameraDevice& camera) {
    return camera.activation && (*camera.activation & 0x80000000U) != 0;
}

// Text without its last line end.
std::string Line(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// What to set instead: the first real camera that opens, as a command; or, with none, advice.
std::string RealCameraAction(const CameraListing& listing) {
    for (std::uint32_t i = 0; i < listing.devices.size(); ++i) {
        if (!IsVirtualCamera(listing.devices[i]) && !Failed(listing.devices[i])) {
            return "orbelune_vcam_ctl set CameraIndex " + std::to_string(i) +
                   " (orbelune_vcam_ctl cameras lists them all)";
        }
    }
    return "connect a real camera, or allow it to be opened, then set CameraIndex to its index "
           "as orbelune_vcam_ctl cameras lists it";
}

constexpr std::string_view kRestart =
    "; the agent reads the formats only at its start and when CameraIndex changes, so then end "
    "orbelune_vcam_agent.exe and start it again";

}  // namespace

// The camera that CameraIndex names as the agent picks it: none (an index past the end of the
// list), a virtual camera rather than a real one, one that cannot be opened; and the fallback
// published while the camera is there. With no camera at all the fallback is all there is, and
// no setting changes that; a negative index has a finding of its own.
void FindCameraProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const std::optional<CameraListing>& listing = c.facts.status.cameras;
    const std::int32_t index = c.settings.cameraIndex;
    if (!listing || !listing->listed || listing->devices.empty() || index < 0) {
        return;
    }
    const std::string named = Line(ConfiguredCameraText(*listing, index));
    const auto device = static_cast<std::uint32_t>(index);
    if (device >= listing->devices.size()) {
        Finding finding{"camera-index-past-end",
                        "CameraIndex " + std::to_string(index) +
                            " names no camera, so the virtual camera gets only the 1280x720 "
                            "fallback format",
                        {named},
                        RealCameraAction(*listing)};
        const std::string list = CamerasText(*listing, index);
        for (size_t at = 0, end = 0; (end = list.find('\n', at)) != std::string::npos;
             at = end + 1) {
            finding.evidence.push_back("camera " + list.substr(at, end - at));
        }
        findings.push_back(std::move(finding));
        return;
    }
    const CameraDevice& camera = listing->devices[device];
    if (IsVirtualCamera(camera)) {
        findings.push_back(
            {"camera-virtual",
             "CameraIndex " + std::to_string(index) +
                 " names a virtual camera, not a real one: the formats published are that "
                 "camera's (it may be this product's own virtual camera)",
             {named},
             RealCameraAction(*listing)});
        return;
    }
    if (Failed(camera) && *camera.activation == 0x80070005) {  // E_ACCESSDENIED
        findings.push_back(
            {"camera-access-denied",
             "the camera cannot be opened: camera access for desktop apps is off in the privacy "
             "settings, so the agent publishes the 1280x720 fallback and the producer gets no "
             "frames",
             {named},
             "in Settings > Privacy & security > Camera, turn on \"Camera access\" and \"Let "
             "desktop apps access your camera\"" +
                 std::string(kRestart)});
        return;
    }
    const auto& block = c.facts.status.capabilities.reading;
    const vcam::CameraCapability fallback = {1280, 720, 30, 1};
    if (!block || !block->valid || block->entries != std::vector{fallback} ||
        !PublishedFallback(c.facts)) {
        return;
    }
    findings.push_back(
        {"capabilities-fallback",
         "the virtual camera was given only the 1280x720 fallback format: the camera gave no "
         "formats when the agent published" +
             std::string(Failed(camera) ? "" : " (missing or busy then)"),
         {"capabilities block: count 1, [0] 1280x720@30/1", named},
         "close other programs that use the camera, or reconnect it" + std::string(kRestart)});
}

}  // namespace orbelune
