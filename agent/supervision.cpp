#include "agent/supervision.h"

#include <algorithm>

#include "log/log_lines.h"

namespace orbelune {

bool IsDemand(std::uint64_t demandTick, std::uint64_t consumerStartTick, std::uint64_t now) {
    return IsFresh(std::max(demandTick, consumerStartTick), now);
}

PeerSignals JudgePeerSignals(const std::optional<vcam::ControlReading>& control,
                             std::uint64_t now) {
    if (!control || !control->valid) {
        return {};
    }
    return {.demand = IsDemand(control->demandTick, control->consumerStartTick, now),
            .consumerActive = IsFresh(control->consumerHeartbeatTick, now),
            .referenceTick = control->consumerStartTick};
}

std::vector<PassStep> PlanProducerSteps(LoopState& state, const PassFacts& facts) {
    using Kind = PassStep::Kind;
    std::vector<PassStep> steps;
    if (facts.demand) {
        state.lastDemandTick = facts.passStart;
    }
    bool running = facts.running;
    if (running && facts.producerExited) {
        steps.push_back({Kind::kLog, std::u16string(kProducerExitedLine)});
        steps.push_back({Kind::kStopProducer, {}});
        running = false;
    }

    if (!facts.enabled) {
        if (running) {
            steps.push_back({Kind::kLog, std::u16string(kDisabledStopLine)});
            steps.push_back({Kind::kStopProducer, {}});
        }
        return steps;  // nothing at all while disabled, not even the idle line
    }
    if (facts.demand && !running) {
        steps.push_back({Kind::kLog, std::u16string(kDemandLine)});
        steps.push_back({Kind::kStartProducer, {}});
        state.idleReported = false;  // whether or not the start succeeds
        return steps;
    }
    if (!facts.demand && running && facts.passStart - state.lastDemandTick > facts.idleStopMs) {
        steps.push_back({Kind::kLog, IdleStopLine(facts.idleStopMs)});
        steps.push_back({Kind::kStopProducer, {}});
        return steps;
    }
    if (!facts.demand && !running && !state.idleReported) {
        steps.push_back({Kind::kLog, std::u16string(kIdleLine)});
        state.idleReported = true;
    }
    return steps;
}

}  // namespace orbelune
