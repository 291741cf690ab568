// The virtual camera's face of the Orbelune camera agent's shared-memory contract: what a virtual
// camera does with the three blocks, each call typed for the one block it may touch. Portable
// C++17 with the standard library only; vcam_peer_win.h adds the sections on Windows.
//
//   StampPeerHeaders(control, consumers)     once, after creating the sections
//   StampDemand / StampConsumerStart / StampConsumerHeartbeat(control, now)
//                                            the ticks: each stores one field of the control
//                                            block, with one aligned 64-bit store
//   StopDemand(control)                      on shutdown: all three ticks back to 0 (never)
//   SnapshotCapabilities / SnapshotConsumers what the agent published, into the caller's
//                                            fixed arrays; nothing allocated, nothing thrown
//   HasChangedSince(view, sequence)          one load: whether to take a snapshot again
//   CheckAgent(capabilities, consumers, now) whether an agent publishes at all
//
// A block pointer must be aligned to 8 bytes (a mapped view is aligned to a page); a size is the
// number of bytes behind it. A call given a null, short or misaligned block does nothing.
//
// What an accepted snapshot guarantees, and what it cannot rule out, is written in vcam_snapshot.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"
#include "vcam_control.h"
#include "vcam_snapshot.h"

namespace orbelune::vcam {

// The virtual camera's view of the control block. Each call below takes the view of the one block
// it may touch (CapabilitiesView and ConsumersView are in vcam_snapshot.h), so that a tick can
// only be stored into the control block.
struct ControlView {
    void* block = nullptr;
    std::size_t size = 0;
};

namespace detail {

inline void StoreTick(ControlView control, Field tick, std::uint64_t value) noexcept {
    if (Holds(control.block, control.size, kControlBlockSize)) {
        Store<std::uint64_t>(control.block, tick.offset, value, std::memory_order_seq_cst);
    }
}

}  // namespace detail

// Stamps the control and consumers headers with the magic and version the agent expects; until
// then the agent takes those blocks as missing. (The agent stamps the capabilities header
// itself.)
inline void StampPeerHeaders(ControlView control, ConsumersView consumers) noexcept {
    if (detail::Holds(control.block, control.size, kControlBlockSize)) {
        detail::Store<std::uint32_t>(control.block, kControlMagicField.offset, kControlMagic);
        detail::Store<std::uint32_t>(control.block, kControlVersionField.offset, kControlVersion);
    }
    if (detail::Holds(consumers.block, consumers.size, kConsumersBlockSize)) {
        detail::Store<std::uint32_t>(consumers.block, kConsumersMagicField.offset, kConsumersMagic);
        detail::Store<std::uint32_t>(consumers.block, kConsumersVersionField.offset,
                                     kConsumersVersion);
    }
}

// Frames are wanted: stamp `now` (GetTickCount64) every few hundred milliseconds while they are.
// A tick counts for kFreshnessMs.
inline void StampDemand(ControlView control, std::uint64_t now) noexcept {
    detail::StoreTick(control, kControlDemandTickField, now);
}

// A consumer began to use the camera at `now`: stamp once, when it begins (it also counts as
// demand while fresh). The agent ranks the applications using a camera by how near their start
// lies to this moment, so refreshing it later would rank them against the wrong moment.
inline void StampConsumerStart(ControlView control, std::uint64_t now) noexcept {
    detail::StoreTick(control, kControlConsumerStartTickField, now);
}

// A consumer is present: stamp `now` every few hundred milliseconds while one is. Without it the
// agent publishes an empty consumer list.
inline void StampConsumerHeartbeat(ControlView control, std::uint64_t now) noexcept {
    detail::StoreTick(control, kControlConsumerHeartbeatTickField, now);
}

// No more frames and no consumer: all three ticks back to 0, so that the agent need not wait for
// them to go stale (the producer then stops after the agent's idle time).
inline void StopDemand(ControlView control) noexcept {
    detail::StoreTick(control, kControlDemandTickField, 0);
    detail::StoreTick(control, kControlConsumerStartTickField, 0);
    detail::StoreTick(control, kControlConsumerHeartbeatTickField, 0);
}

// The camera index the agent has written into the control block (0 until it has).
[[nodiscard]] inline std::uint32_t AgentCameraIndex(ControlView control) noexcept {
    return detail::Holds(control.block, control.size, kControlBlockSize)
               ? detail::Load<std::uint32_t>(control.block, kControlCameraIndexField.offset)
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
[[nodiscard]] inline AgentPresence CheckAgent(CapabilitiesView capabilities,
                                              ConsumersView consumers, std::uint64_t now) noexcept {
    const std::uint64_t updated =
        detail::Holds(consumers.block, consumers.size, kConsumersBlockSize)
            ? detail::Load<std::uint64_t>(consumers.block, kConsumersUpdatedTickField.offset)
            : 0;
    if (IsFresh(updated, now)) {
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
