// The virtual camera's side of the Orbelune camera agent, in short, to copy from: it creates
// the three shared sections, keeps demand and a consumer heartbeat fresh for a few seconds, as
// a virtual camera does while an application has it open, and prints the camera formats and
// the consumers that the agent publishes whenever they change.
//
//   vcam_peer_example [SECONDS]      (default 10)
//
// It needs include/orbelune/ and a C++17 compiler for Windows, nothing else.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "orbelune/vcam_peer_win.h"

namespace vcam = orbelune::vcam;

int main(int argc, char** argv) {
    const unsigned long seconds = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;

    // Under Global\, as a virtual camera running as a service creates them. A program that a
    // user starts may not create there (it lacks SeCreateGlobalPrivilege), and takes Local\,
    // its own session's namespace, where that session's agent finds them.
    vcam::CreatedSections created = vcam::CreatePeerSections(vcam::kGlobalPrefix);
    if (created.error.call != nullptr) {
        created = vcam::CreatePeerSections(vcam::kLocalPrefix);
    }
    if (created.error.call != nullptr) {
        std::fprintf(stderr, "cannot create %ls: %s failed with error %lu\n", created.failedName,
                     created.error.call, created.error.code);
        return 1;
    }
    const vcam::PeerSections& sections = created.sections;
    vcam::StampPeerHeaders(sections);
    std::printf("sections created\n");

    // An application has opened the camera: it wants frames, and it is a consumer from now on.
    vcam::StampTick(sections.control, vcam::kControlConsumerStartTickField);
    std::optional<std::uint32_t> shownSequence;
    std::optional<std::vector<vcam::ConsumerSlot>> shownConsumers;
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < end) {
        vcam::StampTick(sections.control, vcam::kControlDemandTickField);
        vcam::StampTick(sections.control, vcam::kControlConsumerHeartbeatTickField);

        // A snapshot is a publication whole, or nothing for now.
        const auto formats = vcam::SnapshotCapabilities(sections.capabilities);
        if (formats && formats->sequence != shownSequence) {
            shownSequence = formats->sequence;
            std::printf("camera %u, %u format(s):\n", formats->cameraIndex, formats->count);
            for (const vcam::CameraCapability& f : formats->entries) {
                std::printf("  %ux%u@%u/%u\n", f.width, f.height, f.frameRateNumerator,
                            f.frameRateDenominator);
            }
        }
        const auto consumers = vcam::SnapshotConsumers(sections.consumers);
        if (consumers && consumers->slots != shownConsumers) {
            shownConsumers = consumers->slots;
            std::printf("%u consumer(s):\n", consumers->count);
            for (const vcam::ConsumerSlot& c : consumers->slots) {
                const std::wstring name(c.displayName.begin(), c.displayName.end());
                std::printf("  %ls (%s, %s)\n", name.c_str(), c.identity.c_str(),
                            c.packaged != 0 ? "packaged" : "desktop");
            }
        }
        std::fflush(stdout);
        Sleep(100);
    }
    return 0;
}
