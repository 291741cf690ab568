// The capabilities block of the contract: the native formats of the agent's camera, published
// by the agent, and the virtual camera's consistent snapshot of them. Portable C++17.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "vcam_common.h"

namespace orbelune::vcam {

inline constexpr wchar_t kCapabilitiesSectionName[] = L"OrbeluneVcamCapabilities.v1";
inline constexpr std::size_t kCapabilitiesBlockSize = 2068;
inline constexpr std::uint32_t kCapabilitiesMagic = 0x4F425650;  // "PVBO" in memory
inline constexpr std::uint32_t kCapabilitiesVersion = 1;

// The number of entry slots, and so the most formats a publication holds.
inline constexpr std::size_t kMaxCapabilities = 128;

// One capture format and one entry of the block: four u32 in this order, 16 bytes. The rate is
// numerator / denominator frames per second, as the device reports it, never reduced: 30/1 and
// 60/2 are two formats.
struct CameraCapability {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameRateNumerator = 0;
    std::uint32_t frameRateDenominator = 0;

    friend bool operator==(const CameraCapability& a, const CameraCapability& b) noexcept {
        return a.width == b.width && a.height == b.height &&
               a.frameRateNumerator == b.frameRateNumerator &&
               a.frameRateDenominator == b.frameRateDenominator;
    }
    friend bool operator!=(const CameraCapability& a, const CameraCapability& b) noexcept {
        return !(a == b);
    }
};

inline constexpr std::size_t kCapabilityEntrySize = 16;
inline constexpr Field kCapabilityWidthField = {0, 4};
inline constexpr Field kCapabilityHeightField = {4, 4};
inline constexpr Field kCapabilityFrameRateNumeratorField = {8, 4};
inline constexpr Field kCapabilityFrameRateDenominatorField = {12, 4};
static_assert(sizeof(CameraCapability) == kCapabilityEntrySize &&
              offsetof(CameraCapability, width) == kCapabilityWidthField.offset &&
              offsetof(CameraCapability, height) == kCapabilityHeightField.offset &&
              offsetof(CameraCapability, frameRateNumerator) ==
                  kCapabilityFrameRateNumeratorField.offset &&
              offsetof(CameraCapability, frameRateDenominator) ==
                  kCapabilityFrameRateDenominatorField.offset &&
              detail::IsWord(kCapabilityFrameRateDenominatorField, kCapabilityEntrySize));

inline constexpr Field kCapabilitiesMagicField = {0, 4};
inline constexpr Field kCapabilitiesVersionField = {4, 4};
inline constexpr Field kCapabilitiesCameraIndexField = {8, 4};  // a negative index as 0
inline constexpr Field kCapabilitiesCountField = {12, 4};       // 1 to kMaxCapabilities
inline constexpr Field kCapabilitiesEntriesField = {16, (kMaxCapabilities * kCapabilityEntrySize)};
inline constexpr Field kCapabilitiesSequenceField = {2064, 4};  // +1 per publication, wrapping

static_assert(detail::IsWord(kCapabilitiesMagicField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesVersionField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesCameraIndexField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesCountField, kCapabilitiesBlockSize) &&
              detail::IsWord(kCapabilitiesSequenceField, kCapabilitiesBlockSize));
static_assert(detail::Precedes(kCapabilitiesCountField, kCapabilitiesEntriesField) &&
              kCapabilitiesEntriesField.offset % 8 == 0 &&
              kCapabilitiesEntriesField.offset + kCapabilitiesEntriesField.size ==
                  kCapabilitiesSequenceField.offset &&
              kCapabilitiesSequenceField.offset + kCapabilitiesSequenceField.size ==
                  kCapabilitiesBlockSize);

// The agent's publication of the first kMaxCapabilities formats of `formats` (`count` of them),
// in this order: the header (magic, version, camera index, count), every entry slot zeroed,
// the formats into slots 0 onward, then a full fence and an atomic exchange of `sequence` with
// its previous value plus one (wrapping). Only the change of `sequence` says that a publication
// is whole. Every word is written with one aligned store; each slot is zeroed from its
// denominator back, and each format ends with its denominator, so that from the first entry
// store until the last format is in place some slot within the count has no rate (see
// JudgeCapabilitiesCopy). A block shorter than kCapabilitiesBlockSize is left untouched.
inline void WriteCapabilitiesBlock(void* block, std::size_t size, const CameraCapability* formats,
                                   std::size_t count, std::int32_t cameraIndex) noexcept {
    using detail::Store;
    if (block == nullptr || size < kCapabilitiesBlockSize) {
        return;
    }
    const std::size_t n = count < kMaxCapabilities ? count : kMaxCapabilities;
    // Only the agent writes the counter: its own last store.
    const std::uint32_t sequence =
        detail::Load<std::uint32_t>(block, kCapabilitiesSequenceField.offset) + 1u;

    Store<std::uint32_t>(block, kCapabilitiesMagicField.offset, kCapabilitiesMagic);
    Store<std::uint32_t>(block, kCapabilitiesVersionField.offset, kCapabilitiesVersion);
    Store<std::uint32_t>(block, kCapabilitiesCameraIndexField.offset,
                         cameraIndex > 0 ? static_cast<std::uint32_t>(cameraIndex) : 0);
    Store<std::uint32_t>(block, kCapabilitiesCountField.offset, static_cast<std::uint32_t>(n));

    const std::size_t entries = kCapabilitiesEntriesField.offset;
    for (std::size_t slot = 0; slot < kMaxCapabilities; ++slot) {
        for (std::size_t word = kCapabilityEntrySize; word > 0; word -= 4) {
            Store<std::uint32_t>(block, entries + slot * kCapabilityEntrySize + word - 4, 0);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = entries + i * kCapabilityEntrySize;
        Store(block, at + kCapabilityWidthField.offset, formats[i].width);
        Store(block, at + kCapabilityHeightField.offset, formats[i].height);
        Store(block, at + kCapabilityFrameRateNumeratorField.offset, formats[i].frameRateNumerator);
        Store(block, at + kCapabilityFrameRateDenominatorField.offset,
              formats[i].frameRateDenominator);
    }

    // Every store above is visible before the counter moves.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    detail::Word<std::uint32_t>(block, kCapabilitiesSequenceField.offset)
        .exchange(sequence, std::memory_order_seq_cst);
}

struct CapabilitiesReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;  // magic and version as expected: the agent has published into it
    std::uint32_t cameraIndex = 0;
    std::uint32_t count = 0;                // as stored, even beyond the slots
    std::vector<CameraCapability> entries;  // the slots below the count
    std::uint32_t sequence = 0;
};

// The fields of a block nobody writes meanwhile, such as a copy (for the live block, see
// SnapshotCapabilities); nothing when `size` is below the block's.
[[nodiscard]] inline std::optional<CapabilitiesReading> ReadCapabilitiesBlock(
    const void* block, std::size_t size) noexcept {
    using detail::Load;
    if (block == nullptr || size < kCapabilitiesBlockSize) {
        return std::nullopt;
    }
    CapabilitiesReading r;
    r.magic = Load<std::uint32_t>(block, kCapabilitiesMagicField.offset);
    r.version = Load<std::uint32_t>(block, kCapabilitiesVersionField.offset);
    r.valid = r.magic == kCapabilitiesMagic && r.version == kCapabilitiesVersion;
    r.cameraIndex = Load<std::uint32_t>(block, kCapabilitiesCameraIndexField.offset);
    r.count = Load<std::uint32_t>(block, kCapabilitiesCountField.offset);
    for (std::size_t i = 0; i < r.count && i < kMaxCapabilities; ++i) {
        const std::size_t at = kCapabilitiesEntriesField.offset + i * kCapabilityEntrySize;
        r.entries.push_back(
            {Load<std::uint32_t>(block, at + kCapabilityWidthField.offset),
             Load<std::uint32_t>(block, at + kCapabilityHeightField.offset),
             Load<std::uint32_t>(block, at + kCapabilityFrameRateNumeratorField.offset),
             Load<std::uint32_t>(block, at + kCapabilityFrameRateDenominatorField.offset)});
    }
    r.sequence = Load<std::uint32_t>(block, kCapabilitiesSequenceField.offset);
    return r;
}

// Judges a copy of the capabilities block (kCapabilitiesBlockSize bytes) taken between two
// reads of its `sequence`. Rejected: another magic or version, a count of 0 or above
// kMaxCapabilities, a format within the count with a zero rate denominator (the agent lists no
// such rate, though it may list a 0x0 size a camera reports), a non-zero byte in a slot beyond
// the count.
//
// What an accepted copy is. No publication finished while it was taken. If none was in
// progress either, it is the last finished publication, whole. If the agent was stopped inside
// one for the whole copy, the writer's order leaves these cases:
//   - stopped after the magic or version store: those stores rewrite the values the block
//     holds, and the copy is the previous publication (the very first publication's copies
//     are all rejected until its last format is in place);
//   - stopped after the camera index store, or after the count store when the count is
//     unchanged, and before the first entry store: ACCEPTED, though it is the new camera index
//     (and count) over the previous publication's formats; nothing in the block tells it;
//   - from the first entry store to the last format's denominator: rejected, since some slot
//     within the count has no rate (and a changed count first leaves a zero slot within it or
//     a non-zero one beyond it);
//   - after the last format and before the sequence store: accepted; it is the new publication
//     whole, under the previous sequence.
[[nodiscard]] inline SnapshotVerdict JudgeCapabilitiesCopy(std::uint32_t sequenceBefore,
                                                           const void* copy,
                                                           std::uint32_t sequenceAfter) noexcept {
    using detail::Load;
    if (sequenceBefore != sequenceAfter) {
        return SnapshotVerdict::kRetry;
    }
    const std::uint32_t count = Load<std::uint32_t>(copy, kCapabilitiesCountField.offset);
    if (Load<std::uint32_t>(copy, kCapabilitiesMagicField.offset) != kCapabilitiesMagic ||
        Load<std::uint32_t>(copy, kCapabilitiesVersionField.offset) != kCapabilitiesVersion ||
        count == 0 || count > kMaxCapabilities) {
        return SnapshotVerdict::kRejected;
    }
    for (std::size_t i = 0; i < kMaxCapabilities; ++i) {
        const std::size_t at = kCapabilitiesEntriesField.offset + i * kCapabilityEntrySize;
        const auto denominator =
            Load<std::uint32_t>(copy, at + kCapabilityFrameRateDenominatorField.offset);
        const bool empty =
            (Load<std::uint32_t>(copy, at + kCapabilityWidthField.offset) |
             Load<std::uint32_t>(copy, at + kCapabilityHeightField.offset) |
             Load<std::uint32_t>(copy, at + kCapabilityFrameRateNumeratorField.offset) |
             denominator) == 0;
        if (i < count ? denominator == 0 : !empty) {
            return SnapshotVerdict::kRejected;
        }
    }
    return SnapshotVerdict::kAccepted;
}

// The live capabilities block as the last finished publication, in the terms of
// JudgeCapabilitiesCopy: copies it until a copy is accepted and reads that. Nothing when `size`
// is below the block's or no copy was accepted in `attempts` (not published yet, or a
// publication in the middle of being written: ask again later).
[[nodiscard]] inline std::optional<CapabilitiesReading> SnapshotCapabilities(
    const void* block, std::size_t size, int attempts = kSnapshotAttempts) noexcept {
    detail::BlockCopy<kCapabilitiesBlockSize> copy;
    if (!detail::CopyPublication(block, size, kCapabilitiesSequenceField.offset,
                                 JudgeCapabilitiesCopy, attempts, copy)) {
        return std::nullopt;
    }
    return ReadCapabilitiesBlock(copy.bytes, sizeof copy.bytes);
}

}  // namespace orbelune::vcam
