// The supervision loop's decisions, as pure functions of the values one pass has read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orbelune/vcam_agent.h"

namespace orbelune {

// A peer tick counts while it is non-zero, not later than `now`, and at most kFreshnessMs old.
using vcam::IsFresh;
using vcam::kFreshnessMs;

inline constexpr std::uint32_t kPassSleepMs = 500;

// Demand: the later (compared unsigned) of the demand tick and the consumer-start tick is fresh.
// A later tick that lies in the future is no demand even when the other one is fresh.
bool IsDemand(std::uint64_t demandTick, std::uint64_t consumerStartTick, std::uint64_t now);

// What a pass makes of the peer's side of the control block.
struct PeerSignals {
    bool demand = false;              // IsDemand
    bool consumerActive = false;      // the consumer-heartbeat tick is fresh
    std::uint64_t referenceTick = 0;  // the consumer-start tick as stored
};

// The block as read (nothing when it could not be) judged at `now`. A block that is missing or
// not valid gives no demand, no consumer and no reference tick. `now` must be read after the
// block: a tick stamped between a clock reading and its load lies in that reading's future,
// and never counts.
PeerSignals JudgePeerSignals(const std::optional<vcam::ControlReading>& control, std::uint64_t now);

// The pass's one use of the peer's fields: the block's stamp and ticks loaded in one reading,
// then `clock()` read, then judged by it.
template <typename Clock>
PeerSignals ReadPeerSignals(const void* block, std::size_t size, Clock&& clock) {
    const std::optional<vcam::ControlReading> control = vcam::ReadControlBlock(block, size);
    const std::uint64_t now = clock();
    return JudgePeerSignals(control, now);
}

// What the loop carries from pass to pass.
struct LoopState {
    std::uint64_t lastDemandTick = 0;  // passStart of the latest pass that saw demand
    bool idleReported = false;         // the idle line was written since start-up or the last start
};

// What one pass knows when it comes to the producer.
struct PassFacts {
    bool demand = false;
    bool running = false;         // the producer as the loop believes it, before the exit watch
    bool producerExited = false;  // the running producer's process was found signalled
    bool enabled = true;
    std::uint64_t passStart = 0;
    std::uint64_t idleStopMs = 0;
};

// One thing for the pass to do, in order: write a line, stop or start the producer.
struct PassStep {
    enum class Kind { kLog, kStopProducer, kStartProducer };
    Kind kind = Kind::kLog;
    std::u16string line;  // for kLog
    friend bool operator==(const PassStep&, const PassStep&) = default;
};

// The producer's part of a pass: the clean-up of a producer found dead, then at most one start
// or stop, with the lines that explain them. Updates `state` as the pass does.
std::vector<PassStep> PlanProducerSteps(LoopState& state, const PassFacts& facts);

}  // namespace orbelune
