// Publication of the configured camera's native formats into the capabilities block.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/section_win.h"

namespace orbelune {

// The publisher's state, kept by the supervision loop for the life of the process. The section,
// once mapped, stays mapped.
struct CapabilitiesPublisher {
    MappedSection section;
    // The index of the last publication exactly as passed in, negative or not.
    std::int32_t lastCameraIndex = -1;
    bool published = false;
};

// Called once per pass with the configured camera index. Does nothing unless a publication is
// due: at the first call that can map the block, and whenever the index differs from the last
// published one. A due publication enumerates the camera, falls back to 1280x720@30/1 when that
// yields nothing (logging so), writes the block and logs the number of formats. A fallback
// stands until the index changes: formats are never published again for the same index.
void PublishCapabilities(CapabilitiesPublisher& publisher, std::int32_t cameraIndex) noexcept;

}  // namespace orbelune
