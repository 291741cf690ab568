// How the virtual camera copies a live block of the Orbelune camera agent's contract: every field
// with one load of its own width, twice, between two loads of the block's `sequence`, and the
// helpers that read the copy. vcam_snapshot.h judges and decodes the copies; what an accepted
// snapshot guarantees is written there. Portable C++17 with the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>

#include "vcam_common.h"
#include "vcam_consumers.h"

namespace orbelune::vcam {

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

}  // namespace orbelune::vcam
