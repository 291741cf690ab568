#include "capabilities/publisher_win.h"

#include <vector>

#include "capabilities/capabilities.h"
#include "capabilities/capabilities_win.h"
#include "log/log_lines.h"
#include "log/log_win.h"

namespace orbelune {

void PublishCapabilities(CapabilitiesPublisher& publisher, std::int32_t cameraIndex) noexcept {
    if (publisher.published && cameraIndex == publisher.lastCameraIndex) {
        return;
    }
    if (!OpenSharedSection(publisher.section, vcam::kCapabilitiesSectionName,
                           vcam::kCapabilitiesBlockSize)) {
        return;
    }
    std::vector<CameraCapability> list = EnumerateCameraCapabilities(cameraIndex);
    if (list.empty()) {
        list.push_back(kFallbackCapability);
        WriteLogLine(kCapabilitiesFallbackLine);
    }
    vcam::WriteCapabilitiesBlock(publisher.section.view.get(), publisher.section.size, list.data(),
                                 list.size(), cameraIndex);
    publisher.lastCameraIndex = cameraIndex;
    publisher.published = true;
    WriteLogLine(PublishedLine(list.size()));
}

}  // namespace orbelune
