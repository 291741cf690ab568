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
// What an accepted snapshot guarantees. The agent marks no publication as in progress: it writes
// a block field by field and stores a new `sequence` last. A snapshot reads `sequence`, copies
// the block twice with a yield in between (every field with one load of its own width), and
// reads `sequence` again. It accepts the copy only when both reads of `sequence` agree, the two
// copies are identical byte for byte, and the copy could be a finished publication: magic and
// version the agent's, a count within the slots, every record within the count whole (a format
// with a rate; a consumer with terminated texts, an identity, `packaged` 0 or 1, a start time)
// and nothing beyond the count. The snapshot object passed in counts too: when it holds an
// earlier snapshot under the block's current sequence, different content under that sequence is
// a publication in progress, and is rejected (for the consumers, unless the update tick moved as
// well, which the agent stores once the list is whole). An accepted snapshot is therefore what
// the block held at one moment while no publication finished, and the agent's order of stores
// leaves these moments:
//   - between publications: the last publication, whole;
//   - after a publication's last record and before its `sequence`: the new publication whole,
//     under the previous sequence (and, for the consumers, maybe the previous update tick);
//   - the capabilities writer stopped after its new camera index (and an unchanged count) and
//     before its first format: the new camera index over the previous formats;
//   - the consumers writer stopped in the middle of rewriting a slot in place (a slot within both
//     the previous and the new count) where the slot still looks whole: a list that mixes the
//     two, slot by slot or within a slot.
// The last two need the writer's thread stopped at that very store for the whole double copy,
// while the caller has no snapshot of the finished publication under that sequence. Measured by
// tests/include/snapshot_stress.cpp over a minute with four readers on two cores: with a writer
// publishing back to back, mixes were seen under one consumers publication in 36000 and one
// capabilities publication in two million; with a millisecond between publications, never. The
// agent publishes consumers once a second and capabilities rarely, each in microseconds. Every
// other moment inside a publication is rejected: a slot being emptied loses its start time first,
// a format its rate's denominator first, and a changed count leaves a record missing within it
// or standing beyond it. The next publication ends with a new `sequence`, so a virtual camera
// that takes a snapshot again whenever HasChangedSince says so corrects a mix within one
// publication.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>

#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"
#include "vcam_control.h"

namespace orbelune::vcam {

// The virtual camera's views of its three blocks. Each call below takes the view of the one block
// it may touch, so that a tick can only be stored into the control block.
struct ControlView {
    void* block = nullptr;
    std::size_t size = 0;
};
struct CapabilitiesView {
    const void* block = nullptr;
    std::size_t size = 0;
};
struct ConsumersView {
    void* block = nullptr;  // writable for the header stamp; the agent writes the rest
    std::size_t size = 0;
};

namespace detail {

inline bool Holds(const void* block, std::size_t size, std::size_t blockSize) noexcept {
    return block != nullptr && size >= blockSize && IsBlockAligned(block);
}

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

// Why a snapshot gave nothing, or that it gave something.
enum class SnapshotStatus {
    kAccepted,          // the snapshot is filled in
    kNotPublished,      // the agent has not published into the block yet: no agent, or not yet
    kRetriesExhausted,  // every copy saw the block change: publications kept finishing
    kRejected,          // the copies agreed but held no finished publication: one in progress
                        // (or a block another program wrote); ask again later
    kSectionTooSmall,   // the view is null, shorter than the block or not aligned to 8 bytes
};

// What a snapshot call did: its status and how many double copies it took.
struct SnapshotResult {
    SnapshotStatus status = SnapshotStatus::kNotPublished;
    int copies = 0;

    [[nodiscard]] bool Accepted() const noexcept { return status == SnapshotStatus::kAccepted; }
};

// Double copies a snapshot takes before it gives up; between attempts it yields the processor.
inline constexpr int kSnapshotAttempts = 8;

// One capabilities publication.
struct CapabilitiesSnapshot {
    std::uint32_t sequence = 0;
    std::uint32_t cameraIndex = 0;
    std::uint32_t count = 0;  // formats[0] to formats[count - 1]; 1 to kMaxCapabilities
    CameraCapability formats[kMaxCapabilities] = {};
};

// One consumer: the texts zero-terminated, as the slot holds them.
struct ConsumerEntry {
    char16_t displayName[kSlotDisplayNameUnits] = {};  // UTF-16, may be empty
    char identity[kSlotIdentityBytes] = {};            // ASCII, never empty
    std::uint32_t packaged = 0;                        // 1 packaged, 0 desktop
    std::uint64_t lastUsedStart = 0;                   // FILETIME of its camera use's start
};

// One consumers publication.
struct ConsumersSnapshot {
    std::uint32_t sequence = 0;
    std::uint64_t updatedTick = 0;  // the agent's GetTickCount64 at its write
    std::uint32_t count = 0;        // consumers[0] to consumers[count - 1]; 0 to kMaxConsumers
    ConsumerEntry consumers[kMaxConsumers] = {};
};

// Whether two snapshots hold the same formats for the same camera, whatever their sequences.
[[nodiscard]] inline bool SameFormats(const CapabilitiesSnapshot& a,
                                      const CapabilitiesSnapshot& b) noexcept {
    if (a.cameraIndex != b.cameraIndex || a.count != b.count || a.count > kMaxCapabilities) {
        return false;
    }
    for (std::size_t i = 0; i < a.count; ++i) {
        if (a.formats[i] != b.formats[i]) {
            return false;
        }
    }
    return true;
}

// Whether two snapshots hold the same consumers, whatever their sequences and update ticks (the
// agent rewrites an unchanged list every second).
[[nodiscard]] inline bool SameConsumers(const ConsumersSnapshot& a,
                                        const ConsumersSnapshot& b) noexcept {
    if (a.count != b.count || a.count > kMaxConsumers) {
        return false;
    }
    for (std::size_t i = 0; i < a.count; ++i) {
        const ConsumerEntry& x = a.consumers[i];
        const ConsumerEntry& y = b.consumers[i];
        if (std::memcmp(x.displayName, y.displayName, sizeof x.displayName) != 0 ||
            std::memcmp(x.identity, y.identity, sizeof x.identity) != 0 ||
            x.packaged != y.packaged || x.lastUsedStart != y.lastUsedStart) {
            return false;
        }
    }
    return true;
}

namespace detail {

// A copy of a block, aligned as a mapped view is.
template <std::size_t kSize>
struct BlockCopy {
    alignas(8) unsigned char bytes[(kSize + 7) / 8 * 8];
};

inline std::uint32_t CopiedU32(const unsigned char* copy, std::size_t offset) noexcept {
    std::uint32_t value = 0;
    std::memcpy(&value, copy + offset, sizeof value);
    return value;
}

inline std::uint64_t CopiedU64(const unsigned char* copy, std::size_t offset) noexcept {
    std::uint64_t value = 0;
    std::memcpy(&value, copy + offset, sizeof value);
    return value;
}

inline bool IsConsumers64BitField(std::size_t offset) noexcept {
    return offset == kConsumersUpdatedTickField.offset ||
           (offset >= kConsumersEntriesField.offset &&
            offset < kConsumersEntriesField.offset + kConsumersEntriesField.size &&
            (offset - kConsumersEntriesField.offset) % kConsumerSlotSize ==
                kSlotLastUsedStartField.offset);
}

// Copies the first kSize bytes of the live block, every field with one acquire load of its own
// width: the 64-bit fields whole, everything else (texts included) as 32-bit words. The acquire
// loads keep the copy before the next load of `sequence` without a fence.
template <std::size_t kSize, bool kHas64BitFields>
void CopyFields(const void* block, unsigned char* copy) noexcept {
    for (std::size_t at = 0; at < kSize;) {
        if (kHas64BitFields && IsConsumers64BitField(at)) {
            const auto word = Load<std::uint64_t>(block, at, std::memory_order_acquire);
            std::memcpy(copy + at, &word, sizeof word);
            at += sizeof word;
        } else {
            const auto word = Load<std::uint32_t>(block, at, std::memory_order_acquire);
            std::memcpy(copy + at, &word, sizeof word);
            at += sizeof word;
        }
    }
}

// The double copy: `sequence`, a copy, a second copy, `sequence` again. kAccepted here means
// only that nothing moved in between; the judge decides the rest.
template <std::size_t kSize, bool kHas64BitFields, typename Judge>
SnapshotResult TakeSnapshot(const void* block, std::size_t size, std::size_t sequenceOffset,
                            int attempts, Judge judge, BlockCopy<kSize>& copy) noexcept {
    SnapshotResult result;
    if (!Holds(block, size, kSize)) {
        result.status = SnapshotStatus::kSectionTooSmall;
        return result;
    }
    BlockCopy<kSize> second;
    result.status = SnapshotStatus::kRetriesExhausted;
    for (; result.copies < attempts; ++result.copies) {
        if (result.copies > 0) {
            std::this_thread::yield();  // give a writer in the middle of a publication a turn
        }
        const auto before = Load<std::uint32_t>(block, sequenceOffset, std::memory_order_acquire);
        CopyFields<kSize, kHas64BitFields>(block, copy.bytes);
        std::this_thread::yield();  // a writer waiting for this processor moves on, and shows
        CopyFields<kSize, kHas64BitFields>(block, second.bytes);
        const auto after = Load<std::uint32_t>(block, sequenceOffset, std::memory_order_acquire);
        if (before != after || std::memcmp(copy.bytes, second.bytes, kSize) != 0) {
            result.status = SnapshotStatus::kRetriesExhausted;
            continue;
        }
        result.status = judge(copy.bytes);
        if (result.status == SnapshotStatus::kAccepted) {
            ++result.copies;
            break;
        }
    }
    return result;
}

// A text field of `units` units of `unitBytes` bytes: terminated, zero behind the terminator,
// and (when `nonEmpty`) not empty.
inline bool IsWholeText(const unsigned char* text, std::size_t units, std::size_t unitBytes,
                        bool nonEmpty) noexcept {
    bool ended = false;
    for (std::size_t unit = 0; unit < units; ++unit) {
        bool zero = true;
        for (std::size_t byte = 0; byte < unitBytes; ++byte) {
            zero = zero && text[unit * unitBytes + byte] == 0;
        }
        if ((ended && !zero) || (unit == 0 && zero && nonEmpty)) {
            return false;
        }
        ended = ended || zero;
    }
    return ended;
}

inline bool IsAllZero(const unsigned char* bytes, std::size_t size) noexcept {
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace detail

// Judges a copy of the capabilities block (kCapabilitiesBlockSize bytes) that nothing changed
// while it was taken: kAccepted when it could be a finished publication, kNotPublished for a
// block the agent has not stamped (magic and version 0), kRejected otherwise (another magic or
// version, a count of 0 or above kMaxCapabilities, a format within the count with a zero rate
// denominator, a non-zero byte beyond the count).
[[nodiscard]] inline SnapshotStatus JudgeCapabilitiesCopy(const void* block) noexcept {
    using detail::CopiedU32;
    const auto* copy = static_cast<const unsigned char*>(block);
    const std::uint32_t magic = CopiedU32(copy, kCapabilitiesMagicField.offset);
    const std::uint32_t version = CopiedU32(copy, kCapabilitiesVersionField.offset);
    if (magic == 0 && version == 0) {
        return SnapshotStatus::kNotPublished;
    }
    const std::uint32_t count = CopiedU32(copy, kCapabilitiesCountField.offset);
    if (magic != kCapabilitiesMagic || version != kCapabilitiesVersion || count == 0 ||
        count > kMaxCapabilities) {
        return SnapshotStatus::kRejected;
    }
    for (std::size_t i = 0; i < kMaxCapabilities; ++i) {
        const std::size_t at = kCapabilitiesEntriesField.offset + i * kCapabilityEntrySize;
        const bool whole =
            i < count ? CopiedU32(copy, at + kCapabilityFrameRateDenominatorField.offset) != 0
                      : detail::IsAllZero(copy + at, kCapabilityEntrySize);
        if (!whole) {
            return SnapshotStatus::kRejected;
        }
    }
    return SnapshotStatus::kAccepted;
}

// Judges a copy of the consumers block (kConsumersBlockSize bytes), as JudgeCapabilitiesCopy:
// kNotPublished for a block the agent has not written yet (update tick 0), kRejected for another
// magic or version, a count above kMaxConsumers, a slot within the count that is no whole
// consumer (a text unterminated or with bytes behind its terminator, an empty identity,
// `packaged` other than 0 or 1, the reserved word set, no start time), a non-zero byte in a slot
// beyond the count.
[[nodiscard]] inline SnapshotStatus JudgeConsumersCopy(const void* block) noexcept {
    using detail::CopiedU32;
    const auto* copy = static_cast<const unsigned char*>(block);
    if (CopiedU32(copy, kConsumersMagicField.offset) != kConsumersMagic ||
        CopiedU32(copy, kConsumersVersionField.offset) != kConsumersVersion) {
        return SnapshotStatus::kRejected;
    }
    if (detail::CopiedU64(copy, kConsumersUpdatedTickField.offset) == 0) {
        return SnapshotStatus::kNotPublished;
    }
    const std::uint32_t count = CopiedU32(copy, kConsumersCountField.offset);
    if (count > kMaxConsumers) {
        return SnapshotStatus::kRejected;
    }
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        const unsigned char* slot = copy + kConsumersEntriesField.offset + i * kConsumerSlotSize;
        const std::uint32_t packaged = CopiedU32(slot, kSlotPackagedField.offset);
        const bool whole = i < count
                               ? detail::IsWholeText(slot + kSlotDisplayNameField.offset,
                                                     kSlotDisplayNameUnits, 2, false) &&
                                     detail::IsWholeText(slot + kSlotIdentityField.offset,
                                                         kSlotIdentityBytes, 1, true) &&
                                     (packaged == 0 || packaged == 1) &&
                                     CopiedU32(slot, kSlotReservedField.offset) == 0 &&
                                     detail::CopiedU64(slot, kSlotLastUsedStartField.offset) != 0
                               : detail::IsAllZero(slot, kConsumerSlotSize);
        if (!whole) {
            return SnapshotStatus::kRejected;
        }
    }
    return SnapshotStatus::kAccepted;
}

namespace detail {

inline void Decode(const unsigned char* copy, CapabilitiesSnapshot& out) noexcept {
    out.sequence = CopiedU32(copy, kCapabilitiesSequenceField.offset);
    out.cameraIndex = CopiedU32(copy, kCapabilitiesCameraIndexField.offset);
    out.count = CopiedU32(copy, kCapabilitiesCountField.offset);
    for (std::size_t i = 0; i < kMaxCapabilities; ++i) {
        const std::size_t at = kCapabilitiesEntriesField.offset + i * kCapabilityEntrySize;
        out.formats[i] = {CopiedU32(copy, at + kCapabilityWidthField.offset),
                          CopiedU32(copy, at + kCapabilityHeightField.offset),
                          CopiedU32(copy, at + kCapabilityFrameRateNumeratorField.offset),
                          CopiedU32(copy, at + kCapabilityFrameRateDenominatorField.offset)};
    }
}

inline void Decode(const unsigned char* copy, ConsumersSnapshot& out) noexcept {
    out.sequence = CopiedU32(copy, kConsumersSequenceField.offset);
    out.updatedTick = CopiedU64(copy, kConsumersUpdatedTickField.offset);
    out.count = CopiedU32(copy, kConsumersCountField.offset);
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        const unsigned char* slot = copy + kConsumersEntriesField.offset + i * kConsumerSlotSize;
        ConsumerEntry& entry = out.consumers[i];
        for (std::size_t unit = 0; unit < kSlotDisplayNameUnits; ++unit) {
            entry.displayName[unit] =
                static_cast<char16_t>(slot[kSlotDisplayNameField.offset + 2 * unit] |
                                      slot[kSlotDisplayNameField.offset + 2 * unit + 1] << 8);
        }
        std::memcpy(entry.identity, slot + kSlotIdentityField.offset, kSlotIdentityBytes);
        entry.packaged = CopiedU32(slot, kSlotPackagedField.offset);
        entry.lastUsedStart = CopiedU64(slot, kSlotLastUsedStartField.offset);
    }
}

}  // namespace detail

// The live capabilities block as a finished publication, in the terms above. `out` is written
// only when the result is kAccepted. Pass the same `out` every time: when it holds an earlier
// snapshot under the block's current sequence, other formats under that sequence can only be a
// publication in progress, and are rejected.
[[nodiscard]] inline SnapshotResult SnapshotCapabilities(
    CapabilitiesView capabilities, CapabilitiesSnapshot& out,
    int attempts = kSnapshotAttempts) noexcept {
    detail::BlockCopy<kCapabilitiesBlockSize> copy;
    CapabilitiesSnapshot taken;
    const auto judge = [&](const unsigned char* bytes) noexcept {
        const SnapshotStatus status = JudgeCapabilitiesCopy(bytes);
        if (status != SnapshotStatus::kAccepted) {
            return status;
        }
        detail::Decode(bytes, taken);
        return taken.sequence == out.sequence && !SameFormats(taken, out)
                   ? SnapshotStatus::kRejected
                   : status;
    };
    const SnapshotResult result = detail::TakeSnapshot<kCapabilitiesBlockSize, false>(
        capabilities.block, capabilities.size, kCapabilitiesSequenceField.offset, attempts, judge,
        copy);
    if (result.Accepted()) {
        out = taken;
    }
    return result;
}

// The live consumers block as a finished publication, in the terms above. `out` is written only
// when the result is kAccepted. Pass the same `out` every time: when it holds an earlier snapshot
// under the block's current sequence, another list under that sequence is a publication in
// progress, and is rejected unless the update tick has moved too (the agent stores it once the
// list is whole).
[[nodiscard]] inline SnapshotResult SnapshotConsumers(ConsumersView consumers,
                                                      ConsumersSnapshot& out,
                                                      int attempts = kSnapshotAttempts) noexcept {
    detail::BlockCopy<kConsumersBlockSize> copy;
    ConsumersSnapshot taken;
    const auto judge = [&](const unsigned char* bytes) noexcept {
        const SnapshotStatus status = JudgeConsumersCopy(bytes);
        if (status != SnapshotStatus::kAccepted) {
            return status;
        }
        detail::Decode(bytes, taken);
        return taken.sequence == out.sequence && taken.updatedTick == out.updatedTick &&
                       !SameConsumers(taken, out)
                   ? SnapshotStatus::kRejected
                   : status;
    };
    const SnapshotResult result = detail::TakeSnapshot<kConsumersBlockSize, true>(
        consumers.block, consumers.size, kConsumersSequenceField.offset, attempts, judge, copy);
    if (result.Accepted()) {
        out = taken;
    }
    return result;
}

// Whether the block's `sequence` differs from `sequence` (one load): a publication has finished
// since the snapshot that gave it. A snapshot taken while a publication was in progress may
// already hold that publication's data, so compare the contents (SameFormats, SameConsumers)
// rather than assume that a new sequence brings new data. False for an unusable view.
[[nodiscard]] inline bool HasChangedSince(CapabilitiesView capabilities,
                                          std::uint32_t sequence) noexcept {
    return detail::Holds(capabilities.block, capabilities.size, kCapabilitiesBlockSize) &&
           detail::Load<std::uint32_t>(capabilities.block, kCapabilitiesSequenceField.offset,
                                       std::memory_order_acquire) != sequence;
}

[[nodiscard]] inline bool HasChangedSince(ConsumersView consumers,
                                          std::uint32_t sequence) noexcept {
    return detail::Holds(consumers.block, consumers.size, kConsumersBlockSize) &&
           detail::Load<std::uint32_t>(consumers.block, kConsumersSequenceField.offset,
                                       std::memory_order_acquire) != sequence;
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
