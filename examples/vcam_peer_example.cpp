// The virtual camera's side of the Orbelune camera agent, in short, to copy from: it opens or
// creates the three shared sections, keeps demand and a consumer heartbeat fresh for a few
// seconds, as a virtual camera does while an application has it open, says whether an agent
// publishes, and prints the camera formats and the consumers that the agent publishes whenever
// they change, and whether more than one agent writes them. On the way out it stops demand.
//
//   vcam_peer_example [SECONDS]      (default 10)
//
// It needs include/orbelune/ and a C++17 compiler for Windows, nothing else.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "orbelune/vcam_peer_win.h"

namespace vcam = orbelune::vcam;

namespace {

void Print(const vcam::CapabilitiesSnapshot& formats) {
    std::printf("camera %u, %u format(s):\n", formats.cameraIndex, formats.count);
    for (std::uint32_t i = 0; i < formats.count; ++i) {
        const vcam::CameraCapability& f = formats.formats[i];
        std::printf("  %ux%u@%u/%u\n", f.width, f.height, f.frameRateNumerator,
                    f.frameRateDenominator);
    }
}

void Print(const vcam::ConsumersSnapshot& consumers) {
    std::printf("%u consumer(s):\n", consumers.count);
    for (std::uint32_t i = 0; i < consumers.count; ++i) {
        const vcam::ConsumerEntry& c = consumers.consumers[i];
        wchar_t name[vcam::kSlotDisplayNameUnits] = {};
        for (std::size_t unit = 0; unit < vcam::kSlotDisplayNameUnits; ++unit) {
            name[unit] = static_cast<wchar_t>(c.displayName[unit]);
        }
        std::printf("  %ls (%s, %s)\n", name, c.identity, c.packaged != 0 ? "packaged" : "desktop");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long seconds = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;

    // Once per process, shared by every application that opens the camera. Under Global\, as a
    // virtual camera running as a service or Frame Server media source creates them; a program
    // that a user starts may not create there (it lacks SeCreateGlobalPrivilege), and takes
    // Local\, its own session's namespace, where that session's agent finds them. Sections that
    // outlived an earlier run (the agents keep them open) are opened again, as they are.
    vcam::CreatedSections created = vcam::OpenOrCreatePeerSections(vcam::kGlobalPrefix);
    if (created.error.call != nullptr) {
        created = vcam::OpenOrCreatePeerSections(vcam::kLocalPrefix);
    }
    if (created.error.call != nullptr) {
        std::fprintf(stderr, "cannot open or create %ls: %s failed with error %lu\n",
                     created.failedName, created.error.call, created.error.code);
        return 1;
    }
    const vcam::PeerSections& sections = created.sections;
    vcam::StampPeerHeaders(sections);
    std::printf(created.Existed() ? "sections opened again\n" : "sections created\n");

    // An application has opened the camera: a consumer begins now. Its start is stamped once;
    // the agent ranks the applications it finds by how near their start lies to it.
    vcam::StampConsumerStart(sections.Control(), GetTickCount64());
    // What the agent published, as last accepted; static: a snapshot of the formats is 2 KB.
    static vcam::LatestSnapshot<vcam::CapabilitiesSnapshot> formats;
    static vcam::LatestSnapshot<vcam::ConsumersSnapshot> consumers;
    // A consumers snapshot from five seconds before, to tell whether more than one agent writes
    // the block: the agents of several signed-in users do, on sections under Global\. Its names
    // may then be another user's, or no one's.
    static vcam::ConsumersSnapshot earlier;
    ULONGLONG earlierAt = 0;
    int presence = -1;
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        // While frames are wanted and the application is there: every 100 ms here, well within
        // the 2500 ms that a tick counts for.
        vcam::StampDemand(sections.Control(), now);
        vcam::StampConsumerHeartbeat(sections.Control(), now);

        const vcam::AgentPresence agent =
            vcam::CheckAgent(sections.Capabilities(), sections.Consumers(), now);
        if (static_cast<int>(agent) != presence) {
            presence = static_cast<int>(agent);
            std::printf("%s\n", agent == vcam::AgentPresence::kRunning   ? "agent running"
                                : agent == vcam::AgentPresence::kStopped ? "agent stopped"
                                                                         : "no agent");
        }

        // A snapshot again whenever a publication has finished since the last one accepted,
        // shown when what it holds differs from what was shown (the agent rewrites an unchanged
        // consumer list every second). One that gives nothing is tried again next time round.
        if (vcam::TakeWhenChanged(sections.Capabilities(), formats)) {
            Print(formats.snapshot);
        }
        if (vcam::TakeWhenChanged(sections.Consumers(), consumers)) {
            Print(consumers.snapshot);
        }
        if (consumers.accepted && now - earlierAt >= 5000) {
            if (earlierAt != 0 && vcam::HasSeveralWriters(earlier, consumers.snapshot)) {
                std::printf("more than one agent writes the consumers block\n");
            }
            earlier = consumers.snapshot;
            earlierAt = now;
        }
        std::fflush(stdout);
        Sleep(100);
    }
    // The application has closed the camera: no more demand, no consumer.
    vcam::StopDemand(sections.Control());
    return 0;
}
