// The three shared blocks as the tools show them, each as one report value: the control block
// with what the agent would make of its ticks, and the two blocks the agent publishes as the
// virtual camera's snapshots take them. The control tool's status and the peer simulator print
// them.
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

// Local times are counted as seconds (or milliseconds) from 1970-01-01 00:00:00 on the local
// clock itself; the Windows edge converts, so that the report never reads the clock or the zone.
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

// A block the agent publishes, under `name` with its header words, as a snapshot found it: the
// publication when the snapshot was accepted, else why not.
template <typename Snapshot>
struct PublishedBlock {
    std::u16string name;
    std::uint32_t magic = 0, version = 0;
    vcam::SnapshotStatus status = vcam::SnapshotStatus::kNotPublished;
    Snapshot snapshot;
};
template <typename Snapshot>
using ViewOf = std::conditional_t<std::is_same_v<Snapshot, vcam::ConsumersSnapshot>,
                                  vcam::ConsumersView, vcam::CapabilitiesView>;
// The header words of the block behind `view`, then a snapshot of it into `block`, which keeps
// the snapshot it held unless this one is accepted (hand the same block in every time).
template <typename Snapshot>
void TakeSnapshot(ViewOf<Snapshot> view, PublishedBlock<Snapshot>& block) {
    const bool held = vcam::detail::Holds(view.block, view.size, 8);
    block.magic = held ? vcam::detail::Load<std::uint32_t>(view.block, 0) : 0;
    block.version = held ? vcam::detail::Load<std::uint32_t>(view.block, 4) : 0;
    if constexpr (std::is_same_v<Snapshot, vcam::ConsumersSnapshot>) {
        block.status = vcam::SnapshotConsumers(view, block.snapshot).status;
    } else {
        block.status = vcam::SnapshotCapabilities(view, block.snapshot).status;
    }
}

Node CapabilitiesNode(const PublishedBlock<vcam::CapabilitiesSnapshot>& block);
// With each consumer's local start time in milliseconds, where the edge found one; `now` is a
// clock read after the snapshot, from which the update's age is reckoned.
Node ConsumersNode(const PublishedBlock<vcam::ConsumersSnapshot>& block,
                   const std::vector<std::optional<std::int64_t>>& startsLocalMs,
                   std::uint64_t now);

}  // namespace orbelune
