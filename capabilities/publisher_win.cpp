#include "capabilities/publisher_win.h"

#include <vector>

#include "capabilities/capabilities.h"
#include "capabilities/capabilities_win.h"
#include "common/text.h"
#include "log/log.h"

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
        WriteLogLine(u"camera capability enumeration failed/empty; using 1280x720@30 fallback");
    }
    vcam::WriteCapabilitiesBlock(publisher.section.view.get(), publisher.section.size, list.data(),
                                 list.size(), cameraIndex);
    publisher.lastCameraIndex = cameraIndex;
    publisher.published = true;
    WriteLogLine(u"published " + DecimalText(static_cast<unsigned long long>(list.size())) +
                 u" native camera capability tuple(s)");
}

}  // namespace orbelune
