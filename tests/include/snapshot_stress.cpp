// snapshot_stress [SECONDS [READERS [PAUSE_US [WRITERS]]]] (default 2, 4, 0, 1): WRITERS threads
// publish six consumer lists and format sets each in turn with the agent's writers, PAUSE_US
// apart, stamping a clock of their own that moves a second per publication, while READERS
// threads count snapshots. Fails on a torn update tick, and with one writer on a mix that is no
// state its order of stores passes through, a verdict of several writers, or nothing accepted;
// with two (two sessions' agents on Global\ blocks) when no reader tells two writers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "orbelune/vcam_agent.h"
#include "orbelune/vcam_peer.h"

namespace {

using namespace orbelune::vcam;
using Count = std::atomic<unsigned long long>;

constexpr std::size_t kSets = 6;  // per writer

struct Counts {
    Count taken{0}, rejected{0}, settledRejected{0}, exact{0}, mixed{0}, documented{0},
        settledMixed{0}, several{0}, torn{0};
    Count started{0}, ended{0};  // publications of the block begun and ended

    // A snapshot into `s` by `take`, judged against [0] the publications and [1] the mixes that
    // one writer's order of stores documents.
    template <typename Snapshot, typename Snap, typename Same>
    bool Take(Snap take, const Snapshot& s, const std::vector<Snapshot> (&states)[2], Same same) {
        const unsigned long long begun = started, done = ended;
        const SnapshotResult r = take();
        const bool settled = begun == done && started == begun;
        const auto among = [&](const std::vector<Snapshot>& known) {
            return std::any_of(known.begin(), known.end(),
                               [&](const auto& k) { return same(s, k); });
        };
        ++taken;
        if (!r.Accepted()) {
            ++rejected;
            settledRejected += settled && r.status == SnapshotStatus::kRejected;
        } else if (among(states[0])) {
            ++exact;
        } else {
            ++mixed;
            documented += among(states[1]);
            settledMixed += settled;
        }
        return r.Accepted();
    }
    void Print(const char* block) const {
        std::printf(
            "%-12s taken %llu, rejected %llu (settled %llu), accepted exact %llu, mixed "
            "%llu (documented %llu, settled %llu), several writers seen %llu, torn %llu\n",
            block, taken.load(), rejected.load(), settledRejected.load(), exact.load(),
            mixed.load(), documented.load(), settledMixed.load(), several.load(), torn.load());
    }
};

struct Rotation {
    std::vector<ConsumerSlot> lists[2 * kSets];  // writer w publishes w * kSets onward
    std::vector<CameraCapability> sets[2 * kSets];
    std::vector<ConsumersSnapshot> consumers[2];  // as Counts::Take judges by
    std::vector<CapabilitiesSnapshot> formats[2];

    explicit Rotation(std::size_t writers) {
        static const std::size_t kConsumers[kSets] = {4, 1, 3, 0, 4, 2};
        static const std::size_t kFormats[kSets] = {3, 128, 40, 40, 1, 77};  // 40 twice
        for (std::size_t k = 0; k < writers * kSets; ++k) {
            // Overlapping lengths (slots rewritten in place), empty names, shrinking lists.
            for (std::size_t i = 0; i < kConsumers[k % kSets]; ++i) {
                lists[k].push_back({std::u16string((k * 7 + i * 5) % 30, char16_t(u'A' + k)),
                                    std::string(1 + (k * 11 + i * 3) % 60, char('a' + k)),
                                    static_cast<std::uint32_t>((k + i) % 2),
                                    ((k + 1) << 32) | (100 * k + i + 1)});
            }
            for (std::size_t i = 0; i < kFormats[k % kSets]; ++i) {
                const auto u = static_cast<std::uint32_t>(k * 1000 + i + 1);
                sets[k].push_back({u, u + 1, u + 2, u + 3});
            }
            CapabilitiesSnapshot& f = formats[0].emplace_back();
            f = {0, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(sets[k].size()), {}};
            std::copy(sets[k].begin(), sets[k].end(), f.formats);
            if (writers == 1) {  // the next set's camera index over the formats before it
                formats[1].emplace_back(f).cameraIndex = (k + 1) % kSets;
            }
        }
        // Every state from each list to the next that a snapshot accepts, the writer's stores
        // applied one by one (each slot's start time, then its words from its end back).
        for (std::size_t k = 0; k < writers * kSets; ++k) {
            alignas(8) unsigned char block[kConsumersBlockSize] = {}, next[kConsumersBlockSize];
            std::copy_n("OCBO\1\0\0\0", 8, block);
            const auto& from = lists[(k + kSets - 1) % kSets];
            (void)WriteConsumerSlots(block, sizeof block, from.data(), from.size());
            StampConsumersUpdate(block, 1);
            std::memcpy(next, block, sizeof next);
            (void)WriteConsumerSlots(next, sizeof next, lists[k].data(), lists[k].size());
            (void)SnapshotConsumers({next, sizeof next}, consumers[0].emplace_back(), 1);
            for (std::size_t slot = 24; writers == 1 && slot < 600; slot += kConsumerSlotSize) {
                for (std::size_t end = 144; end > 0; end -= end == 144 ? 8 : 4) {
                    const std::size_t at = slot + end - (end == 144 ? 8 : 4);
                    std::memcpy(block + at, next + at, end == 144 ? 8 : 4);
                    if (!SnapshotConsumers({block, sizeof block}, consumers[1].emplace_back(), 1)
                             .Accepted()) {
                        consumers[1].pop_back();
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
    const std::size_t writers = argc > 4 && std::strtol(argv[4], nullptr, 10) == 2 ? 2 : 1;
    static const Rotation rotation(writers);
    alignas(8) static unsigned char consumers[kConsumersBlockSize];
    alignas(8) static unsigned char capabilities[2072];  // longer than the block
    std::copy_n("OCBO\1\0\0\0", 8, consumers);
    std::atomic<bool> stop{false};
    Counts c, f;
    std::vector<std::thread> pool;
    for (std::size_t w = 0; w < writers; ++w) {
        pool.emplace_back([&, w] {
            for (std::uint64_t n = 1; !stop.load(std::memory_order_relaxed); ++n) {
                const std::size_t k = w * kSets + n % kSets;
                ++c.started;
                (void)WriteConsumerSlots(consumers, sizeof consumers, rotation.lists[k].data(),
                                         rotation.lists[k].size());
                StampConsumersUpdate(consumers, n * kConsumersRewriteMs + 500 * w);
                ++c.ended;
                ++f.started;
                WriteCapabilitiesBlock(capabilities, sizeof capabilities, rotation.sets[k].data(),
                                       rotation.sets[k].size(), static_cast<std::int32_t>(k));
                ++f.ended;
                std::this_thread::sleep_for(pause);
            }
        });
    }
    for (long r = 0; r < readers; ++r) {
        pool.emplace_back([&] {
            ConsumersSnapshot cs, first, previous;  // no tick in `first` until one is accepted
            CapabilitiesSnapshot fs;
            const auto list = [&] { return SnapshotConsumers({consumers, sizeof consumers}, cs); };
            const auto set = [&] { return SnapshotCapabilities({capabilities, 2072}, fs); };
            while (!stop.load(std::memory_order_relaxed)) {
                if (c.Take(list, cs, rotation.consumers, SameConsumers)) {
                    c.torn += cs.updatedTick % 500 != 0;  // halves of two ticks
                    c.several += first.updatedTick != 0 &&
                                 (HasSeveralWriters(previous, cs) || HasSeveralWriters(first, cs));
                    first = first.updatedTick != 0 ? first : cs;
                    previous = cs;
                }
                (void)f.Take(set, fs, rotation.formats, SameFormats);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (std::thread& t : pool) {
        t.join();
    }
    std::printf("%llu publications of each block by %zu writer(s), %ld readers, %ld s\n",
                c.ended.load(), writers, readers, seconds);
    c.Print("consumers");
    f.Print("capabilities");
    if (c.torn > 0 || (writers == 1 ? c.exact == 0 || f.exact == 0 || c.mixed != c.documented ||
                                          f.mixed != f.documented || c.several > 0
                                    : c.several == 0)) {
        std::puts("FAILED: a torn tick, an undocumented mix, nothing taken, writers miscounted");
        return 1;
    }
    return 0;
}
