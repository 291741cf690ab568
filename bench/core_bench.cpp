// The core's work per supervision pass and per operation, for instruction counts under
// callgrind (scripts/bench.sh): instructions are repeatable where seconds are not.
//
//   orbelune_core_bench --list            the case names, one a line
//   orbelune_core_bench CASE ITERATIONS   runs CASE that many times inside RunMeasured
//
// callgrind collects only inside RunMeasured (--toggle-collect), so the count divided by the
// iterations is the cost of one call, set-up excluded. A new case is one row of kCases.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/producer.h"
#include "agent/supervision.h"
#include "capabilities/capabilities.h"
#include "consumers/app_identity.h"
#include "consumers/consent_store.h"
#include "consumers/consumers_block.h"
#include "orbelune/vcam_peer.h"
#include "tests/support/bytes.h"

namespace {

using namespace orbelune;

// Keeps results alive so that the optimiser cannot drop the work.
volatile std::size_t gSink = 0;

struct alignas(8) ControlBlockBytes {
    std::array<std::byte, vcam::kControlBlockSize> bytes{};
};

ControlBlockBytes ControlBlock(std::uint64_t demandTick, std::uint64_t heartbeatTick) {
    ControlBlockBytes block;
    StoreU32(block.bytes, vcam::kControlMagicField.offset, vcam::kControlMagic);
    StoreU32(block.bytes, vcam::kControlVersionField.offset, vcam::kControlVersion);
    StoreU64(block.bytes, vcam::kControlDemandTickField.offset, demandTick);
    StoreU64(block.bytes, vcam::kControlConsumerHeartbeatTickField.offset, heartbeatTick);
    return block;
}

// The core's share of one pass as the agent runs it: the camera index stored, the block read
// and judged (with `now` as its clock), then the producer plan.
void CorePass(ControlBlockBytes& control, LoopState& state, std::uint64_t now, bool running) {
    std::byte* block = control.bytes.data();
    if (vcam::IsControlBlockValid(block, control.bytes.size())) {
        vcam::StoreControlCameraIndex(block, 0);
    }
    const PeerSignals peer = ReadPeerSignals(block, control.bytes.size(), [now] { return now; });
    const std::vector<PassStep> steps = PlanProducerSteps(
        state, {.demand = peer.demand, .running = running, .passStart = now, .idleStopMs = 8000});
    gSink = gSink + steps.size() + peer.consumerActive;
}

void PassIdle(int iterations) {
    auto block = ControlBlock(0, 0);
    LoopState state{.lastDemandTick = 0, .idleReported = true};
    for (int i = 0; i < iterations; ++i) {
        CorePass(block, state, 100000 + 500 * static_cast<std::uint64_t>(i), false);
    }
}

void PassDemandRunning(int iterations) {
    LoopState state;
    for (int i = 0; i < iterations; ++i) {
        const std::uint64_t now = 100000 + 500 * static_cast<std::uint64_t>(i);
        auto block = ControlBlock(now - 100, now - 100);
        CorePass(block, state, now, true);
    }
}

void PassStart(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        LoopState state;
        auto block = ControlBlock(99900, 0);
        CorePass(block, state, 100000, false);
    }
}

void PassIdleStop(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        LoopState state{.lastDemandTick = 1000, .idleReported = false};
        auto block = ControlBlock(1000, 0);
        CorePass(block, state, 100000, true);
    }
}

void IsDemandOnly(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        const std::uint64_t now = 100000 + static_cast<std::uint64_t>(i);
        gSink = gSink + IsDemand(now - 1000, now - 3000, now);
    }
}

void CommandLine(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        const std::vector<std::u16string> arguments = ProducerArguments(
            u"C:\\Program Files\\Orbelune\\orbelune_windows_retouch_vcam_producer.exe", u"directml",
            0, u"C:\\Program Files\\Orbelune");
        gSink = gSink + BuildProducerCommandLine(arguments).size();
    }
}

std::uint64_t Pack(std::uint32_t first, std::uint32_t second) {
    return std::uint64_t{first} << 32 | second;
}

// A webcam's native types as Media Foundation lists them: each size in two pixel formats at
// 30 and 15 fps, some of them beyond 1280x720.
std::vector<NativeTypeReading> TypicalCameraTypes() {
    static const std::uint32_t kSizes[][2] = {{1920, 1080}, {1280, 720}, {960, 540}, {848, 480},
                                              {640, 480},   {640, 360},  {424, 240}, {320, 240},
                                              {320, 180},   {160, 120}};
    std::vector<NativeTypeReading> readings;
    for (int format = 0; format < 2; ++format) {
        for (const auto& size : kSizes) {
            for (const std::uint32_t rate : {30u, 15u}) {
                readings.push_back(
                    {Pack(rate, 1), std::nullopt, std::nullopt, Pack(size[0], size[1])});
            }
        }
    }
    return readings;
}

void SelectionTypical(int iterations) {
    const std::vector<NativeTypeReading> readings = TypicalCameraTypes();
    for (int i = 0; i < iterations; ++i) {
        gSink = gSink + SelectNativeFormats(readings).size();
    }
}

void SelectionCapped(int iterations) {
    std::vector<NativeTypeReading> readings;
    for (std::uint32_t n = 1; n <= 200; ++n) {
        readings.push_back({Pack(30, 1), std::nullopt, std::nullopt, Pack(2 * n, 2 * n)});
    }
    for (int i = 0; i < iterations; ++i) {
        gSink = gSink + SelectNativeFormats(readings).size();
    }
}

// The core's share of one consent-store scan of five desktop apps (four running, one not) and
// one packaged app, then the ordering and the block write of the refresh.
void ConsumersRefresh(int iterations) {
    const RunningProcessNames running = {u"zoom.exe", u"msedge.exe", u"obs64.exe", u"slack.exe",
                                         u"explorer.exe"};
    static const std::u16string_view kSubkeys[] = {
        u"C:#Program Files#Zoom#bin#Zoom.exe", u"C:#Program Files#Microsoft#Edge#msedge.exe",
        u"C:#Program Files#obs-studio#bin#64bit#obs64.exe", u"C:#Apps#Slack#slack.exe",
        u"C:#Apps#Tool#tool.exe"};
    alignas(8) std::array<std::byte, vcam::kConsumersBlockSize> block{};
    StoreU32(block, vcam::kConsumersMagicField.offset, vcam::kConsumersMagic);
    StoreU32(block, vcam::kConsumersVersionField.offset, vcam::kConsumersVersion);
    DisplayNameCache cache;
    for (int i = 0; i < iterations; ++i) {
        std::vector<ConsumerRecord> records;
        std::uint64_t start = 133000000000000000ULL;
        for (const std::u16string_view subkey : kSubkeys) {
            std::u16string key = DesktopConsumerKey(subkey, start += 10000000, 0, running);
            if (!key.empty()) {
                std::u16string name = ResolveWithoutFile(cache, key).value_or(u"");
                records.push_back({std::move(name), std::move(key), false, start});
            }
        }
        records.push_back({PackagedDisplayName(u"MSTeams_8wekyb3d8bbwe"), u"MSTeams_8wekyb3d8bbwe",
                           true, start + 1});
        SortConsumers(records, 133000000050000000ULL);
        const std::vector<vcam::ConsumerSlot> slots = ConsumerSlots(records);
        if (vcam::WriteConsumerSlots(block.data(), block.size(), slots.data(), slots.size())) {
            vcam::StampConsumersUpdate(block.data(), 1000 + static_cast<std::uint64_t>(i));
        }
    }
}

void CleanName(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        gSink = gSink + CleanVersionName(u"  Example Meetings GPU Helper (64-bit) ").size();
    }
}

// The virtual camera's side: whole snapshots of a publication of each block (two copies of the
// block, judged and decoded), and TakeWhenChanged on both while nothing was published since (one
// load each), as a virtual camera calls it several times a second.
struct Published {
    alignas(8) std::array<std::byte, vcam::kCapabilitiesBlockSize> capabilities{};
    alignas(8) std::array<std::byte, vcam::kConsumersBlockSize> consumers{};

    Published() {
        std::vector<vcam::CameraCapability> formats;
        for (std::uint32_t i = 0; i < 40; ++i) {
            formats.push_back({1280 - 16 * i, 720 - 9 * i, 30, 1});
        }
        vcam::WriteCapabilitiesBlock(capabilities.data(), capabilities.size(), formats.data(),
                                     formats.size(), 0);
        StoreU32(consumers, vcam::kConsumersMagicField.offset, vcam::kConsumersMagic);
        StoreU32(consumers, vcam::kConsumersVersionField.offset, vcam::kConsumersVersion);
        const std::vector<vcam::ConsumerSlot> slots(4, {u"Zoom Meetings", "zoom.exe", 0, 1});
        (void)vcam::WriteConsumerSlots(consumers.data(), consumers.size(), slots.data(),
                                       slots.size());
        vcam::StampConsumersUpdate(consumers.data(), 1000);
    }
    [[nodiscard]] vcam::CapabilitiesView Capabilities() const {
        return {capabilities.data(), capabilities.size()};
    }
    [[nodiscard]] vcam::ConsumersView Consumers() const {
        return {consumers.data(), consumers.size()};
    }
};

// Built before main, outside what callgrind collects: the publications, and the latest
// snapshots of them that TakeWhenChanged holds.
const Published gPublished;
struct Latest {
    vcam::LatestSnapshot<vcam::CapabilitiesSnapshot> formats;
    vcam::LatestSnapshot<vcam::ConsumersSnapshot> consumers;

    Latest() {
        (void)vcam::TakeWhenChanged(gPublished.Capabilities(), formats);
        (void)vcam::TakeWhenChanged(gPublished.Consumers(), consumers);
    }
} gLatest;

void SnapshotSet(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        gSink =
            gSink +
            vcam::SnapshotCapabilities(gPublished.Capabilities(), gLatest.formats.snapshot).copies;
    }
}

void SnapshotList(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        gSink = gSink +
                vcam::SnapshotConsumers(gPublished.Consumers(), gLatest.consumers.snapshot).copies;
    }
}

void TakeUnchanged(int iterations) {
    for (int i = 0; i < iterations; ++i) {
        gSink = gSink + vcam::TakeWhenChanged(gPublished.Capabilities(), gLatest.formats) +
                vcam::TakeWhenChanged(gPublished.Consumers(), gLatest.consumers);
    }
}

struct Case {
    const char* name;
    const char* what;
    void (*run)(int iterations);
};

constexpr Case kCases[] = {
    {"pass-idle", "one pass, idle reported, no producer (the steady idle pass)", PassIdle},
    {"pass-demand-running", "one pass with fresh demand and the producer running",
     PassDemandRunning},
    {"pass-start", "the pass that decides a start (demand line and start step)", PassStart},
    {"pass-idle-stop", "the pass that decides an idle stop (its line built)", PassIdleStop},
    {"is-demand", "IsDemand alone", IsDemandOnly},
    {"command-line", "ProducerArguments + BuildProducerCommandLine with typical paths",
     CommandLine},
    {"selection-typical", "SelectNativeFormats over 40 native types of a typical webcam",
     SelectionTypical},
    {"selection-capped", "SelectNativeFormats over 200 distinct fitting types (cut to 128)",
     SelectionCapped},
    {"consumers-refresh",
     "the core of one refresh: 5 desktop and 1 packaged app judged, named (cached), sorted and "
     "written",
     ConsumersRefresh},
    {"clean-version-name", "CleanVersionName of a name with blanks, a group and suffix words",
     CleanName},
    {"snapshot-capabilities", "SnapshotCapabilities of a publication of 40 formats", SnapshotSet},
    {"snapshot-consumers", "SnapshotConsumers of a publication of 4 consumers", SnapshotList},
    {"take-unchanged", "TakeWhenChanged on both blocks, nothing published since", TakeUnchanged},
};

}  // namespace

// Where callgrind collects. Kept out of line so that the collection has a name to toggle on.
extern "C" {
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void RunMeasured(const Case* c, int iterations) {
    c->run(iterations);
}
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Case& c : kCases) {
            std::printf("%s\t%s\n", c.name, c.what);
        }
        return 0;
    }
    if (argc != 3) {
        std::fputs("usage: orbelune_core_bench --list | CASE ITERATIONS\n", stderr);
        return 2;
    }
    for (const Case& c : kCases) {
        if (std::strcmp(argv[1], c.name) == 0) {
            RunMeasured(&c, std::atoi(argv[2]));
            return 0;
        }
    }
    std::fprintf(stderr, "orbelune_core_bench: no case %s\n", argv[1]);
    return 2;
}
