// Readable text of a control block, for the peer simulator and the status tool.
#pragma once

#include <cstdint>
#include <string>

#include "orbelune/vcam_contract.h"

namespace orbelune {

// One peer tick as the agent would judge it at `now`.
struct TickReading {
    std::uint64_t value = 0;
    std::int64_t ageMs = 0;  // now - value; negative for a tick in the future
    bool fresh = false;
};

// What the agent would decide from the block's fields at `now`. Demand and consumer presence
// hold only while the block is valid, as in the agent.
struct ControlStatus {
    TickReading demandTick, consumerStartTick, consumerHeartbeatTick;
    bool demand = false;
    bool consumerPresent = false;
};

ControlStatus JudgeControlBlock(const vcam::ControlReading& block, std::uint64_t now);

// The block's header, the camera index and each tick with its age at `now` and whether it
// counts as fresh, then demand and consumer presence as the agent would decide them.
std::string DescribeControlBlock(const vcam::ControlReading& block, std::uint64_t now);

}  // namespace orbelune
