// The virtual camera's snapshots of the two blocks the Orbelune camera agent publishes, the
// capabilities and the consumers: taken from the live blocks into the caller's fixed arrays,
// nothing allocated, nothing thrown. Portable C++17 with the standard library only; vcam_peer.h
// gathers it with the rest of the virtual camera's calls.
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

#include "vcam_block_copy.h"
#include "vcam_capabilities.h"
#include "vcam_common.h"
#include "vcam_consumers.h"

namespace orbelune::vcam {

// The views of the two blocks the agent publishes (ControlView, in vcam_peer.h, is the third).
struct CapabilitiesView {
    const void* block = nullptr;
    std::size_t size = 0;
};
struct ConsumersView {
    void* block = nullptr;  // writable for the header stamp; the agent writes the rest
    std::size_t size = 0;
};

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
namespace detail {

// A snapshot of a live block into `out`: the double copy, judged by `judgeCopy`, decoded, and
// rejected when `inProgress(taken, out)` finds it differing from the snapshot `out` already holds
// under the same publication. `out` is written only when the result is kAccepted.
template <std::size_t kSize, bool kHas64BitFields, typename Snapshot, typename Judge,
          typename InProgress>
SnapshotResult SnapshotInto(const void* block, std::size_t size, std::size_t sequenceOffset,
                            int attempts, Judge judgeCopy, InProgress inProgress,
                            Snapshot& out) noexcept {
    BlockCopy<kSize> copy;
    Snapshot taken;
    const auto judge = [&](const unsigned char* bytes) noexcept {
        const SnapshotStatus status = judgeCopy(bytes);
        if (status != SnapshotStatus::kAccepted) {
            return status;
        }
        Decode(bytes, taken);
        return inProgress(taken, out) ? SnapshotStatus::kRejected : status;
    };
    const SnapshotResult result =
        TakeSnapshot<kSize, kHas64BitFields>(block, size, sequenceOffset, attempts, judge, copy);
    if (result.Accepted()) {
        out = taken;
    }
    return result;
}

}  // namespace detail

// The live capabilities block as a finished publication, in the terms above. `out` is written
// only when the result is kAccepted. Pass the same `out` every time: when it holds an earlier
// snapshot under the block's current sequence, other formats under that sequence can only be a
// publication in progress, and are rejected.
[[nodiscard]] inline SnapshotResult SnapshotCapabilities(
    CapabilitiesView capabilities, CapabilitiesSnapshot& out,
    int attempts = kSnapshotAttempts) noexcept {
    const auto inProgress = [](const CapabilitiesSnapshot& taken,
                               const CapabilitiesSnapshot& held) noexcept {
        return taken.sequence == held.sequence && !SameFormats(taken, held);
    };
    return detail::SnapshotInto<kCapabilitiesBlockSize, false>(
        capabilities.block, capabilities.size, kCapabilitiesSequenceField.offset, attempts,
        JudgeCapabilitiesCopy, inProgress, out);
}

// The live consumers block as a finished publication, in the terms above. `out` is written only
// when the result is kAccepted. Pass the same `out` every time: when it holds an earlier snapshot
// under the block's current sequence, another list under that sequence is a publication in
// progress, and is rejected unless the update tick has moved too (the agent stores it once the
// list is whole).
[[nodiscard]] inline SnapshotResult SnapshotConsumers(ConsumersView consumers,
                                                      ConsumersSnapshot& out,
                                                      int attempts = kSnapshotAttempts) noexcept {
    const auto inProgress = [](const ConsumersSnapshot& taken,
                               const ConsumersSnapshot& held) noexcept {
        return taken.sequence == held.sequence && taken.updatedTick == held.updatedTick &&
               !SameConsumers(taken, held);
    };
    return detail::SnapshotInto<kConsumersBlockSize, true>(consumers.block, consumers.size,
                                                           kConsumersSequenceField.offset, attempts,
                                                           JudgeConsumersCopy, inProgress, out);
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

}  // namespace orbelune::vcam
