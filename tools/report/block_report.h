// The three shared blocks as the control tool's status and the peer simulator show them: the
// control block as the agent judges it, the published ones as the virtual camera's snapshots see.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "orbelune/vcam_agent.h"
#include "orbelune/vcam_snapshot.h"
#include "tools/report/report.h"

namespace orbelune {

// A local time as seconds from 1970-01-01 00:00:00 on the local clock itself (the edge converts).
std::int64_t LocalSeconds(const std::tm& time);
inline constexpr std::uint64_t kUnixEpochFiletime = 116444736000000000;  // 1970-01-01, UTC

// One peer tick as the agent would judge it at `now`, a clock read after the tick was loaded.
struct TickReading {
    std::uint64_t value = 0;
    std::int64_t ageMs = 0;  // now - value; negative for a tick in the future
    bool fresh = false;
};

// What the agent decides from the block's fields at `now`, by its own judge (JudgePeerSignals):
// demand and consumer presence hold only while the block is valid.
struct ControlStatus {
    TickReading demandTick, consumerStartTick, consumerHeartbeatTick;
    bool demand = false, consumerPresent = false;
};
ControlStatus JudgeControlBlock(const vcam::ControlReading& block, std::uint64_t now);

// "NAME VALUE (AGE ms old, fresh)", "NAME 0 (never)", "NAME VALUE (AGE ms in the future, stale)".
std::string TickText(const char* name, const TickReading& tick);

// The control block found under `name`, judged at `now`.
Node ControlNode(const std::u16string& name, const vcam::ControlReading& block, std::uint64_t now);

// A block the agent publishes, under `name`, with its header words and what a snapshot found.
template <typename Snapshot>
struct PublishedBlock {
    std::u16string name;
    std::uint32_t magic = 0, version = 0;
    vcam::SnapshotStatus status = vcam::SnapshotStatus::kNotPublished;
    Snapshot snapshot;
};
// The header words of the `size` bytes at `data`, then a snapshot of them into `block`, which
// keeps the snapshot it held unless this one is accepted (hand the same block in every time).
template <typename Snapshot>
void TakeSnapshot(const void* data, std::size_t size, PublishedBlock<Snapshot>& block) {
    const bool held = vcam::detail::Holds(data, size, 8);
    block.magic = held ? vcam::detail::Load<std::uint32_t>(data, 0) : 0;
    block.version = held ? vcam::detail::Load<std::uint32_t>(data, 4) : 0;
    if constexpr (std::is_same_v<Snapshot, vcam::ConsumersSnapshot>) {
        block.status = vcam::SnapshotConsumers({data, size}, block.snapshot).status;
    } else {
        block.status = vcam::SnapshotCapabilities({data, size}, block.snapshot).status;
    }
}

Node CapabilitiesNode(const PublishedBlock<vcam::CapabilitiesSnapshot>& block);
// With the local start times the edge found; `now`, read after the snapshot, dates the update.
Node ConsumersNode(const PublishedBlock<vcam::ConsumersSnapshot>& block,
                   const std::vector<std::optional<std::tm>>& startsLocal, std::uint64_t now);

}  // namespace orbelune
