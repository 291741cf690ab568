// The virtual camera's face of the Orbelune camera agent's shared-memory blocks: what a virtual
// camera does with them, each call typed for the one block it may touch. Portable C++17 with the
// standard library only; vcam_peer_win.h adds the sections on Windows, and with them the views.
//
//   StampDemand / StampConsumerStart / StampConsumerHeartbeat(control, now)
//                                            the ticks: each stores one field of the control
//                                            block, with one aligned 64-bit store
//   StopDemand(control)                      on shutdown: all three ticks back to 0 (never)
//   TakeWhenChanged(view, latest)            what the agent published, when it changed
//   SnapshotCapabilities / SnapshotConsumers the snapshots themselves (vcam_snapshot.h): into
//                                            the caller's fixed arrays, nothing allocated,
//                                            nothing thrown
//   CheckAgent(capabilities, consumers, now) whether an agent publishes at all
//
// Ticks are unsigned milliseconds of GetTickCount64; a signed or floating-point value is refused
// at compile time rather than turned into a huge tick. A call given a view of nothing, or of a
// block shorter than its size or not aligned to 8 bytes, does nothing.
//
// What an accepted snapshot guarantees, what it cannot rule out and what two writers do is
// written in vcam_snapshot.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vcam_blocks.h"
#include "vcam_snapshot.h"

namespace orbelune::vcam {

namespace detail {

template <typename Tick>
constexpr std::uint64_t TickValue(Tick tick) noexcept {
    static_assert(
        std::is_integral_v<Tick> && std::is_unsigned_v<Tick> && !std::is_same_v<Tick, bool>,
        "a tick is an unsigned count of GetTickCount64 milliseconds");
    return tick;
}

inline void StoreTick(const ControlView& control, Field tick, std::uint64_t value) noexcept {
    void* block = ControlViews::Block(control);
    if (Holds(block, ControlViews::Size(control), kControlBlockSize)) {
        Store<std::uint64_t>(block, tick.offset, value, std::memory_order_seq_cst);
    }
}

}  // namespace detail

// Frames are wanted: stamp `now` (GetTickCount64) every few hundred milliseconds while they are.
// A tick counts for kFreshnessMs.
template <typename Tick>
void StampDemand(const ControlView& control, Tick now) noexcept {
    detail::StoreTick(control, kControlDemandTickField, detail::TickValue(now));
}

// A consumer began to use the camera at `now`: stamp once, when it begins (it also counts as
// demand while fresh). The agent ranks the applications using a camera by how near their start
// lies to this moment, so refreshing it later would rank them against the wrong moment.
template <typename Tick>
void StampConsumerStart(const ControlView& control, Tick now) noexcept {
    detail::StoreTick(control, kControlConsumerStartTickField, detail::TickValue(now));
}

// A consumer is present: stamp `now` every few hundred milliseconds while one is. Without it the
// agent publishes an empty consumer list.
template <typename Tick>
void StampConsumerHeartbeat(const ControlView& control, Tick now) noexcept {
    detail::StoreTick(control, kControlConsumerHeartbeatTickField, detail::TickValue(now));
}

// No more frames and no consumer: all three ticks back to 0, so that the agent need not wait for
// them to go stale (the producer then stops after the agent's idle time).
inline void StopDemand(const ControlView& control) noexcept {
    detail::StoreTick(control, kControlDemandTickField, 0);
    detail::StoreTick(control, kControlConsumerStartTickField, 0);
    detail::StoreTick(control, kControlConsumerHeartbeatTickField, 0);
}

// The camera index the agent has written into the control block (0 until it has).
[[nodiscard]] inline std::uint32_t AgentCameraIndex(const ControlView& control) noexcept {
    const void* block = detail::ControlViews::Block(control);
    return detail::Holds(block, detail::ControlViews::Size(control), kControlBlockSize)
               ? detail::Load<std::uint32_t>(block, kControlCameraIndexField.offset)
               : 0;
}

enum class AgentPresence {
    kNone,     // nothing published: no agent has opened the sections
    kStopped,  // an agent published, but has not rewritten the consumers block within
               // kFreshnessMs: it has stopped (or, for a moment, is just starting)
    kRunning,  // an agent rewrote the consumers block within kFreshnessMs
};

// Whether an agent is running beside the sections, at `now` (GetTickCount64). A running agent
// rewrites the consumers block about once a second, with or without consumers, once the
// consumers header is stamped; it publishes the capabilities once, when it first opens them.
// An update tick later than `now` counts as running: the agent wrote it after the caller read
// its clock, so `now` may be read well before the call (once per loop, say) without a running
// agent looking stopped.
template <typename Tick>
[[nodiscard]] AgentPresence CheckAgent(CapabilitiesView capabilities, ConsumersView consumers,
                                       Tick now) noexcept {
    const std::uint64_t clock = detail::TickValue(now);
    const std::uint64_t updated =
        detail::Holds(consumers.block, consumers.size, kConsumersBlockSize)
            ? detail::Load<std::uint64_t>(consumers.block, kConsumersUpdatedTickField.offset)
            : 0;
    if (updated > clock || IsFresh(updated, clock)) {
        return AgentPresence::kRunning;
    }
    const bool published =
        updated != 0 ||
        (detail::Holds(capabilities.block, capabilities.size, kCapabilitiesBlockSize) &&
         detail::Load<std::uint32_t>(capabilities.block, kCapabilitiesMagicField.offset) ==
             kCapabilitiesMagic);
    return published ? AgentPresence::kStopped : AgentPresence::kNone;
}

}  // namespace orbelune::vcam
