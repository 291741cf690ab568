// Readable text of a control block, for the peer simulator and the status tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orbelune {

// One peer tick as the agent would judge it at `now`.
struct TickReading {
    std::uint64_t value = 0;
    std::int64_t ageMs = 0;  // now - value; negative for a tick in the future
    bool fresh = false;
};

// The block's fields and what the agent would decide from them at `now`. Demand and consumer
// presence hold only while the block is valid, as in the agent.
struct ControlReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;
    std::uint32_t cameraIndex = 0;
    TickReading demandTick, consumerStartTick, consumerHeartbeatTick;
    bool demand = false;
    bool consumerPresent = false;
};

// Reads each field once with one aligned load, as the agent does. `block` must hold at least
// the block's size. The block is only read.
ControlReading ReadControlBlock(std::span<std::byte> block, std::uint64_t now);

// The block's header, the camera index and each tick with its age at `now` and whether it
// counts as fresh, then demand and consumer presence as the agent would decide them.
std::string DescribeControlBlock(std::span<std::byte> block, std::uint64_t now);

}  // namespace orbelune
