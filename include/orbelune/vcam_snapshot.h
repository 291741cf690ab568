// The virtual camera's snapshots of the two blocks the Orbelune camera agent publishes, the
// capabilities and the consumers: taken from the live blocks through read-only views into the
// caller's fixed arrays, nothing allocated, nothing thrown. Portable C++17 with the standard
// library only; vcam_peer.h gathers it with the rest of the virtual camera's calls.
//
// What an accepted snapshot guarantees, with one writer. The agent marks no publication as in
// progress: it writes a block field by field, each field with one release store, and stores a
// new `sequence` last. A snapshot reads `sequence`, copies the block twice with a yield in
// between (every field with one acquire load of its own width), and reads `sequence` again. It
// accepts the copy only when both reads of `sequence` agree, the two copies are identical byte
// for byte, and the copy could be a finished publication: magic and version the agent's, a count
// within the slots, every record within the count whole (a format with a rate; a consumer with
// terminated texts, an identity, `packaged` 0 or 1, a start time) and nothing beyond the count.
// The judges rely on the order of the writer's stores (the release stores make it the language's
// order, and the acquire loads keep it in the copy): a slot being emptied loses its start time
// first, a format is zeroed from its rate's denominator back and written with its denominator
// last, and the count is stored before the records, so every moment inside a publication leaves
// a record missing within the count or standing beyond it, except those listed below. The
// snapshot object passed in counts too: when it holds an earlier snapshot under the block's
// current sequence, different content under that sequence is a publication in progress, and is
// rejected (for the consumers, unless the update tick moved as well, which the agent stores once
// the list is whole). An accepted snapshot is therefore what the block held at one moment while
// no publication finished:
//   - between publications: the last publication, whole;
//   - after a publication's last record and before its `sequence`: the new publication whole,
//     under the previous sequence (and, for the consumers, maybe the previous update tick);
//   - the capabilities writer stopped after its new camera index (and an unchanged count) and
//     before its first format: the new camera index over the previous formats;
//   - the consumers writer stopped in the middle of rewriting a slot in place (a slot within both
//     the previous and the new count) where the slot still looks whole: a list that mixes the
//     two, slot by slot or within a slot.
// The last two need the writer's thread stopped at that very store for the whole double copy,
// while the caller has no snapshot of the finished publication under that sequence; how rarely
// that happens is measured by tests/include/snapshot_stress.cpp (docs/PERFORMANCE.md). The next
// publication ends with a new `sequence`, so a virtual camera that takes a snapshot again
// whenever HasChangedSince says so (TakeWhenChanged) corrects a mix within one publication.
//
// Two writers. The guarantee holds for one writer per block. Sections under Global\ are opened
// by the agent of every signed-in user, and each writes the same capabilities and consumers
// blocks; their stores interleave, and nothing in the layout tells one writer's from the other's.
// Then a snapshot may accept, and keep accepting until the next write, a list or a format set
// that neither agent published (one user's application name over another's executable, say), and
// two publications at the same moment may leave a capabilities block that every snapshot rejects
// until the next publication, which may not come before an agent restarts or a camera index
// changes. HasSeveralWriters tells from two snapshots of the consumers block whether it has more
// than one writer (it then alternates between the users' lists anyway).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>

#include "vcam_blocks.h"

namespace orbelune::vcam {

// Why a snapshot gave nothing, or that it gave something.
enum class SnapshotStatus {
    kAccepted,          // the snapshot is filled in
    kNotPublished,      // the agent has not published there yet: no agent, or not yet (for the
                        // consumers block, also: nobody has stamped it)
    kRetriesExhausted,  // every copy saw the block change: publications kept finishing
    kRejected,          // the copies agreed but held no finished publication: one was in
                        // progress (or the block has more than one writer, or another program
                        // wrote it); ask again later
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
// loads keep the writer's order of stores in the copy, and the copy before the next load of
// `sequence`, without a fence.
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
// block nobody has stamped (magic and version 0: the agent stamps this header itself), kRejected
// otherwise (another magic or version, a count of 0 or above kMaxCapabilities, a format within
// the count with a zero rate denominator, a non-zero byte beyond the count).
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
// kNotPublished for a block nobody has stamped (magic and version 0) or that the agent has not
// written yet (update tick 0), kRejected for another magic or version, a count above
// kMaxConsumers, a slot within the count that is no whole consumer (a text unterminated or with
// bytes behind its terminator, an empty identity, `packaged` other than 0 or 1, the reserved word
// set, no start time), a non-zero byte in a slot beyond the count.
[[nodiscard]] inline SnapshotStatus JudgeConsumersCopy(const void* block) noexcept {
    using detail::CopiedU32;
    const auto* copy = static_cast<const unsigned char*>(block);
    const std::uint32_t magic = CopiedU32(copy, kConsumersMagicField.offset);
    const std::uint32_t version = CopiedU32(copy, kConsumersVersionField.offset);
    if (magic == 0 && version == 0) {
        return SnapshotStatus::kNotPublished;
    }
    if (magic != kConsumersMagic || version != kConsumersVersion) {
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

// What a virtual camera keeps of a block the agent publishes: the last accepted snapshot, which
// every snapshot call is handed, and whether there is one.
template <typename Snapshot>
struct LatestSnapshot {
    Snapshot snapshot;
    bool accepted = false;
};

namespace detail {

template <typename View, typename Snapshot, typename Take, typename Same>
bool TakeWhenChanged(View view, LatestSnapshot<Snapshot>& latest, Take take, Same same) noexcept {
    if (latest.accepted && !HasChangedSince(view, latest.snapshot.sequence)) {
        return false;
    }
    Snapshot taken = latest.snapshot;
    if (!take(view, taken, kSnapshotAttempts).Accepted()) {
        return false;
    }
    const bool changed = !latest.accepted || !same(taken, latest.snapshot);
    latest.snapshot = taken;
    latest.accepted = true;
    return changed;
}

}  // namespace detail

// "Snapshot when changed": takes a snapshot when `latest` holds none yet or a publication has
// finished since the one it holds, and keeps it when it is accepted. True when `latest` now holds
// other formats (or consumers) than before, or its first; false when nothing changed, or the
// snapshot gave nothing (the next call tries again). Call it as often as the block is needed: it
// costs one load while no publication finishes.
[[nodiscard]] inline bool TakeWhenChanged(CapabilitiesView capabilities,
                                          LatestSnapshot<CapabilitiesSnapshot>& latest) noexcept {
    return detail::TakeWhenChanged(capabilities, latest, SnapshotCapabilities, SameFormats);
}

[[nodiscard]] inline bool TakeWhenChanged(ConsumersView consumers,
                                          LatestSnapshot<ConsumersSnapshot>& latest) noexcept {
    return detail::TakeWhenChanged(consumers, latest, SnapshotConsumers, SameConsumers);
}

// Whether the consumers block has had more than one writer between two accepted snapshots of it,
// `earlier` and `later` (taken after it). One agent rewrites the block at most once per
// kConsumersRewriteMs of its clock and stamps that clock as the update tick, so between the two
// its sequence moves by at most the update tick's progress in kConsumersRewriteMs, plus 3: one
// for a snapshot holding a finished list under the previous sequence, one for a refresh that
// took up to a second before its tick, one for an agent that restarted in between. A sequence
// that moves further, or an update tick that goes back while the sequence moves on, means more
// than one writer. Two agents that rewrite the block every second show within a few seconds:
// compare snapshots at least five seconds apart.
[[nodiscard]] inline bool HasSeveralWriters(const ConsumersSnapshot& earlier,
                                            const ConsumersSnapshot& later) noexcept {
    const std::uint32_t writes = later.sequence - earlier.sequence;
    if (writes == 0) {
        return false;
    }
    if (later.updatedTick < earlier.updatedTick) {
        return true;
    }
    return writes > (later.updatedTick - earlier.updatedTick) / kConsumersRewriteMs + 3;
}

}  // namespace orbelune::vcam
