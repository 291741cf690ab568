// snapshot_stress [SECONDS [READERS [PAUSE_US]]] (default 2, 4, 0): the agent's writers publish
// six consumer lists and format sets in turn, PAUSE_US apart, while READERS threads take and count
// snapshots. Fails on a torn update tick, on a mix that is no state the writers' order of stores
// passes through, or when nothing was accepted.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orbelune/vcam_agent.h"
#include "orbelune/vcam_peer.h"

namespace {

using namespace orbelune::vcam;
using Count = std::atomic<unsigned long long>;

constexpr std::size_t kSets = 6;

struct Counts {
    Count taken{0}, retried{0}, rejected{0}, exact{0}, mixed{0}, documented{0}, seen{0}, torn{0};

    // One snapshot; a reader counts a mix once more under each sequence it sees it under.
    template <typename Snapshot, typename Same>
    void Take(const SnapshotResult& r, const Snapshot& s, const std::vector<Snapshot> (&known)[2],
              Same same, std::uint32_t& lastMixed) {
        ++taken;
        retried += static_cast<unsigned long long>(r.copies - 1);
        const auto among = [&](const std::vector<Snapshot>& states) {
            return std::any_of(states.begin(), states.end(),
                               [&](const Snapshot& k) { return same(s, k); });
        };
        if (!r.Accepted()) {
            ++rejected;
        } else if (among(known[0])) {
            ++exact;
        } else {
            ++mixed;
            documented += among(known[1]) ? 1 : 0;
            seen += std::exchange(lastMixed, s.sequence) != s.sequence ? 1 : 0;
        }
    }
    void Print(const char* block) const {
        std::printf(
            "%-12s taken %llu, retried %llu, rejected %llu, accepted exact %llu, mixed %llu"
            " (documented %llu, under %llu sequences), torn 64-bit %llu\n",
            block, taken.load(), retried.load(), rejected.load(), exact.load(), mixed.load(),
            documented.load(), seen.load(), torn.load());
    }
};

struct Rotation {
    std::vector<ConsumerSlot> lists[kSets];
    std::vector<CameraCapability> sets[kSets];
    std::vector<ConsumersSnapshot> consumers[2];  // the lists; the documented mixes
    std::vector<CapabilitiesSnapshot> formats[2];

    Rotation() {
        static const std::size_t kConsumers[kSets] = {4, 1, 3, 0, 4, 2};
        static const std::size_t kFormats[kSets] = {3, 128, 40, 40, 1, 77};  // 40 twice
        for (std::size_t k = 0; k < kSets; ++k) {
            // Lengths that overlap, so that a slot rewritten in place passes through states
            // that look whole; empty names; slots emptied as a list shrinks.
            for (std::size_t i = 0; i < kConsumers[k]; ++i) {
                lists[k].push_back({std::u16string((k * 7 + i * 5) % 30, char16_t(u'A' + k)),
                                    std::string(1 + (k * 11 + i * 3) % 60, char('a' + k)),
                                    static_cast<std::uint32_t>((k + i) % 2),
                                    ((k + 1) << 32) | (100 * k + i + 1)});
            }
            for (std::size_t i = 0; i < kFormats[k]; ++i) {
                const auto u = static_cast<std::uint32_t>(k * 1000 + i + 1);
                sets[k].push_back({u, u + 1, u + 2, u + 3});
            }
            // The one mix the capabilities writer's order leaves: the next set's camera index
            // over the formats of the set before it.
            CapabilitiesSnapshot& f = formats[0].emplace_back();
            f = {0, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(kFormats[k]), {}};
            std::copy(sets[k].begin(), sets[k].end(), f.formats);
            formats[1].emplace_back(f).cameraIndex = (k + 1) % kSets;
        }
        // Every state from each list to the next that a snapshot accepts, the writer's stores
        // applied one by one (each slot's start time, then its words from its end back).
        for (std::size_t k = 0; k < kSets; ++k) {
            alignas(8) unsigned char block[kConsumersBlockSize] = {}, next[kConsumersBlockSize];
            const auto& from = lists[(k + kSets - 1) % kSets];
            StampConsumersHeader(block, sizeof block);
            (void)WriteConsumerSlots(block, sizeof block, from.data(), from.size());
            StampConsumersUpdate(block, 1);
            std::memcpy(next, block, sizeof next);
            (void)WriteConsumerSlots(next, sizeof next, lists[k].data(), lists[k].size());
            (void)SnapshotConsumers({next, sizeof next}, consumers[0].emplace_back(), 1);
            for (std::size_t slot = 24; slot < 600; slot += kConsumerSlotSize) {
                for (std::size_t end = 144; end > 0; end -= end == 144 ? 8 : 4) {
                    const std::size_t at = slot + end - (end == 144 ? 8 : 4);
                    std::memcpy(block + at, next + at, end == 144 ? 8 : 4);
                    ConsumersSnapshot state;
                    if (SnapshotConsumers({block, sizeof block}, state, 1).Accepted()) {
                        consumers[1].push_back(state);
                    }
                }
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2;
    const long readers = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 4;
    const std::chrono::microseconds pause(argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0);
    static const Rotation rotation;
    alignas(8) static unsigned char consumers[kConsumersBlockSize];
    alignas(8) static unsigned char capabilities[kCapabilitiesBlockSize + 4];
    StampConsumersHeader(consumers, sizeof consumers);
    std::atomic<bool> stop{false};
    Count published{0};
    Counts c, f;

    std::thread writer([&] {
        for (std::uint64_t n = 1; !stop.load(std::memory_order_relaxed); ++n) {
            const auto& list = rotation.lists[n % kSets];
            const auto& set = rotation.sets[n % kSets];
            (void)WriteConsumerSlots(consumers, sizeof consumers, list.data(), list.size());
            StampConsumersUpdate(consumers, (n << 32) | n);  // torn, its halves would differ
            WriteCapabilitiesBlock(capabilities, sizeof capabilities, set.data(), set.size(),
                                   static_cast<std::int32_t>(n % kSets));
            published = n;
            std::this_thread::sleep_for(pause);
        }
    });
    std::vector<std::thread> pool;
    for (long r = 0; r < readers; ++r) {
        pool.emplace_back([&] {
            ConsumersSnapshot cs;
            CapabilitiesSnapshot fs;
            std::uint32_t lastMixed[2] = {~0u, ~0u};
            while (!stop.load(std::memory_order_relaxed)) {
                const SnapshotResult cr = SnapshotConsumers({consumers, sizeof consumers}, cs);
                c.Take(cr, cs, rotation.consumers, SameConsumers, lastMixed[0]);
                c.torn += cr.Accepted() && cs.updatedTick >> 32 != (cs.updatedTick & 0xFFFFFFFF);
                const SnapshotResult fr =
                    SnapshotCapabilities({capabilities, sizeof capabilities}, fs);
                f.Take(fr, fs, rotation.formats, SameFormats, lastMixed[1]);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    writer.join();
    for (std::thread& t : pool) {
        t.join();
    }
    std::printf("%llu publications of each block, %ld readers, %ld s\n", published.load(), readers,
                seconds);
    c.Print("consumers");
    f.Print("capabilities");
    if (c.torn > 0 || c.mixed != c.documented || f.mixed != f.documented || c.exact == 0 ||
        f.exact == 0) {
        std::printf("FAILED: a torn tick, an undocumented mix, or nothing accepted\n");
        return 1;
    }
    return 0;
}
