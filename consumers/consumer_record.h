// One application that is using a camera right now, as the consent-store scan finds it and the
// consumers block publishes it.
#pragma once

#include <cstdint>
#include <string>

namespace orbelune {

struct ConsumerRecord {
    // The name shown for the application.
    std::u16string displayName;
    // A desktop app's executable key ("zoom.exe"); a packaged app's package family name as
    // enumerated, letter case kept.
    std::u16string identity;
    // Found directly under the webcam key rather than under its NonPackaged key.
    bool packaged = false;
    // When its current camera use began: a FILETIME (100 ns units since 1601-01-01 UTC), never 0.
    std::uint64_t lastUsedStart = 0;
};

}  // namespace orbelune
