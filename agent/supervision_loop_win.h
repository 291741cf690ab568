// The supervision loop: once per pass, settings, control block, producer; then a 500 ms sleep.
#pragma once

#include "agent/producer_win.h"
#include "agent/supervision.h"
#include "capabilities/publisher_win.h"
#include "common/section_win.h"
#include "consumers/consumer_tracker_win.h"

namespace orbelune {

// The agent's hold on the control block; mapped at the first use that can open it.
using ControlBlockView = MappedSection;

// Maps the control block if not yet mapped; true when a view is held.
bool OpenControlBlock(ControlBlockView& view) noexcept;

// Everything the loop keeps for the life of the process, owned by the entry point.
struct AgentState {
    ControlBlockView controlBlock;
    CapabilitiesPublisher capabilities;
    ConsumerTracker consumers;
    ProducerProcess producer;
    LoopState loop;
};

// One pass without its closing sleep.
void RunSupervisionPass(AgentState& state);

// Runs passes for ever.
[[noreturn]] void RunSupervisionLoop(AgentState& state);

}  // namespace orbelune
