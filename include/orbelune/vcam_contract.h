// The shared-memory contract between the Orbelune camera agent and the virtual camera: the
// names, sizes and byte layouts of the three sections, the freshness rule for ticks, and for
// each block its writer and its reader side by side. Portable C++17 with the standard library
// only; the agent is built on it, and so is vcam_peer_win.h, the virtual camera's side.
//
// Every integer is little-endian at its natural alignment and is read and written in the
// host's byte order. A block pointer given to these functions must be aligned to 8 bytes (a
// mapped view is aligned to a page); a size is the number of bytes behind it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the blocks are little-endian and accessed in the host's byte order"
#endif

namespace orbelune::vcam {

// A section is created under one of these prefixes followed by its name. The agent opens the
// Global\ name first and the Local\ one second, and keeps the first it can map.
inline constexpr wchar_t kGlobalPrefix[] = L"Global\\";
inline constexpr wchar_t kLocalPrefix[] = L"Local\\";

// One field of a block or slot: its offset from the block's (or slot's) start and its width,
// both in bytes.
struct Field {
    std::size_t offset;
    std::size_t size;
};

namespace detail {

// A 32- or 64-bit word at its natural alignment inside a block of `blockSize` bytes.
constexpr bool IsWord(Field field, std::size_t blockSize) {
    return (field.size == 4 || field.size == 8) && field.offset % field.size == 0 &&
           field.offset + field.size <= blockSize;
}

constexpr bool Precedes(Field first, Field second) {
    return first.offset + first.size <= second.offset;
}

inline unsigned char* At(void* block, std::size_t offset) noexcept {
    return static_cast<unsigned char*>(block) + offset;
}

inline const unsigned char* At(const void* block, std::size_t offset) noexcept {
    return static_cast<const unsigned char*>(block) + offset;
}

// A word that the other process may read or write at the same time, accessed with one load or
// store of its full width, never torn. Mapped memory holds no C++ objects of its own, so the
// word is viewed as an atomic: through std::atomic_ref where the library has it (C++20), else
// as a std::atomic<T> laid over it. That view is sound only where std::atomic<T> is T itself
// with nothing added and needs no lock, so that its operations are the same single
// instructions on the word; the static_assert holds the build to that (it holds for 32- and
// 64-bit words on every Windows target).
#if defined(__cpp_lib_atomic_ref)
template <typename T>
std::atomic_ref<T> Word(void* block, std::size_t offset) noexcept {
    return std::atomic_ref<T>(*reinterpret_cast<T*>(At(block, offset)));
}
#else
template <typename T>
std::atomic<T>& Word(void* block, std::size_t offset) noexcept {
    static_assert(sizeof(std::atomic<T>) == sizeof(T) && alignof(std::atomic<T>) == alignof(T) &&
                      std::atomic<T>::is_always_lock_free,
                  "a shared word is viewed as a std::atomic of the same size and alignment");
    return *reinterpret_cast<std::atomic<T>*>(At(block, offset));
}
#endif

template <typename T>
T Load(const void* block, std::size_t offset,
       std::memory_order order = std::memory_order_relaxed) noexcept {
    // Atomic 32- and 64-bit loads are plain loads on the Windows targets: a read-only view
    // serves.
    return Word<T>(const_cast<void*>(block), offset).load(order);
}

template <typename T>
void Store(void* block, std::size_t offset, T value,
           std::memory_order order = std::memory_order_relaxed) noexcept {
    Word<T>(block, offset).store(value, order);
}

// Stores a header word only when the block is long enough to hold it.
inline void StoreIfHeld(void* block, std::size_t size, Field field, std::uint32_t value) noexcept {
    if (block != nullptr && field.offset + field.size <= size) {
        Store<std::uint32_t>(block, field.offset, value);
    }
}

}  // namespace detail

// Ticks are milliseconds of GetTickCount64, the same clock in every process of the machine; 0
// means never. A tick counts (is fresh) while it is not 0, not later than `now` and at most
// kFreshnessMs old, compared as unsigned 64-bit numbers.
inline constexpr std::uint64_t kFreshnessMs = 2500;

[[nodiscard]] constexpr bool IsFresh(std::uint64_t tick, std::uint64_t now) noexcept {
    return tick != 0 && tick <= now && now - tick <= kFreshnessMs;
}

// The control block: the virtual camera's ticks, the agent's camera index.

inline constexpr wchar_t kControlSectionName[] = L"OrbeluneVcamControl.v2";
inline constexpr std::size_t kControlBlockSize = 80;
inline constexpr std::uint32_t kControlMagic = 0x4F425643;  // "CVBO" in memory
inline constexpr std::uint32_t kControlVersion = 2;

// Bytes 8-11, 32-47 and 56-79 are the virtual camera's own; the agent never touches them.
inline constexpr Field kControlMagicField = {0, 4};
inline constexpr Field kControlVersionField = {4, 4};
inline constexpr Field kControlCameraIndexField = {12, 4};            // written by the agent
inline constexpr Field kControlDemandTickField = {16, 8};             // frames are wanted
inline constexpr Field kControlConsumerStartTickField = {24, 8};      // a consumer began
inline constexpr Field kControlConsumerHeartbeatTickField = {48, 8};  // a consumer is present

static_assert(detail::IsWord(kControlMagicField, kControlBlockSize) &&
              detail::IsWord(kControlVersionField, kControlBlockSize) &&
              detail::IsWord(kControlCameraIndexField, kControlBlockSize) &&
              detail::IsWord(kControlDemandTickField, kControlBlockSize) &&
              detail::IsWord(kControlConsumerStartTickField, kControlBlockSize) &&
              detail::IsWord(kControlConsumerHeartbeatTickField, kControlBlockSize));
static_assert(detail::Precedes(kControlVersionField, kControlCameraIndexField) &&
              detail::Precedes(kControlCameraIndexField, kControlDemandTickField) &&
              detail::Precedes(kControlDemandTickField, kControlConsumerStartTickField) &&
              detail::Precedes(kControlConsumerStartTickField, kControlConsumerHeartbeatTickField));

// There is no lock and no counter: the two sides write disjoint fields, each with one aligned
// store of its width, and read them with one aligned load each.

// The virtual camera stamps magic and version (other values only to test the agent's refusal);
// each word is stored only when `size` holds it.
inline void StampControlHeader(void* block, std::size_t size, std::uint32_t magic = kControlMagic,
                               std::uint32_t version = kControlVersion) noexcept {
    detail::StoreIfHeld(block, size, kControlMagicField, magic);
    detail::StoreIfHeld(block, size, kControlVersionField, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent treats any other
// block as missing, and asks before every use.
[[nodiscard]] inline bool IsControlBlockValid(const void* block, std::size_t size) noexcept {
    return block != nullptr && size >= kControlBlockSize &&
           detail::Load<std::uint32_t>(block, kControlMagicField.offset) == kControlMagic &&
           detail::Load<std::uint32_t>(block, kControlVersionField.offset) == kControlVersion;
}

// One of the three tick fields, read with one aligned 64-bit load.
[[nodiscard]] inline std::uint64_t LoadControlTick(const void* block, Field tick) noexcept {
    return detail::Load<std::uint64_t>(block, tick.offset);
}

// The agent's one field: the configured camera index, a negative one stored as 0.
inline void StoreControlCameraIndex(void* block, std::int32_t cameraIndex) noexcept {
    detail::Store<std::uint32_t>(block, kControlCameraIndexField.offset,
                                 cameraIndex > 0 ? static_cast<std::uint32_t>(cameraIndex) : 0);
}

struct ControlReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;  // magic and version as expected
    std::uint32_t cameraIndex = 0;
    std::uint64_t demandTick = 0;
    std::uint64_t consumerStartTick = 0;
    std::uint64_t consumerHeartbeatTick = 0;
};

// Every field read once with one aligned load of its width, as the agent reads them; nothing
// when `size` is below the block's.
[[nodiscard]] inline std::optional<ControlReading> ReadControlBlock(const void* block,
                                                                    std::size_t size) noexcept {
    if (block == nullptr || size < kControlBlockSize) {
        return std::nullopt;
    }
    ControlReading r;
    r.magic = detail::Load<std::uint32_t>(block, kControlMagicField.offset);
    r.version = detail::Load<std::uint32_t>(block, kControlVersionField.offset);
    r.valid = r.magic == kControlMagic && r.version == kControlVersion;
    r.cameraIndex = detail::Load<std::uint32_t>(block, kControlCameraIndexField.offset);
    r.demandTick = LoadControlTick(block, kControlDemandTickField);
    r.consumerStartTick = LoadControlTick(block, kControlConsumerStartTickField);
    r.consumerHeartbeatTick = LoadControlTick(block, kControlConsumerHeartbeatTickField);
    return r;
}

// Publications: what a reader makes of a copy.

// The agent ends every publication into the capabilities and consumers blocks by storing a new
// `sequence`, after everything else; nothing marks a publication in progress. A reader reads
// `sequence`, copies the block, reads `sequence` again, and judges the copy:
//   kAccepted  the two reads agree and the copy looks like a finished publication;
//   kRetry     the two reads differ: a publication finished during the copy;
//   kRejected  the copy is no finished publication (never published, or taken while one was
//              being written); copying again later may succeed.
enum class SnapshotVerdict { kAccepted, kRetry, kRejected };

// Copies that the looping readers below take before they give up.
inline constexpr int kSnapshotAttempts = 8;

// The capabilities block: the camera's native formats, published by the agent.

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

// The consumers block: the applications using a camera, published by the agent.

inline constexpr wchar_t kConsumersSectionName[] = L"OrbeluneVcamConsumers.v1";
inline constexpr std::size_t kConsumersBlockSize = 608;
inline constexpr std::uint32_t kConsumersMagic = 0x4F42434F;  // "OCBO" in memory
inline constexpr std::uint32_t kConsumersVersion = 1;

// The number of slots; the agent publishes at most this many consumers.
inline constexpr std::size_t kMaxConsumers = 4;
inline constexpr std::size_t kConsumerSlotSize = 144;

// Magic and version are the virtual camera's stamp; the agent compares them and never writes
// them, nor the reserved words at 12 and 604.
inline constexpr Field kConsumersMagicField = {0, 4};
inline constexpr Field kConsumersVersionField = {4, 4};
inline constexpr Field kConsumersCountField = {8, 4};         // 0 to kMaxConsumers
inline constexpr Field kConsumersUpdatedTickField = {16, 8};  // the agent's tick at its write
inline constexpr Field kConsumersEntriesField = {24, (kMaxConsumers * kConsumerSlotSize)};
inline constexpr Field kConsumersSequenceField = {600, 4};  // +1 per write, wrapping

// One slot. The texts are zero-terminated and zero-filled behind the terminator.
inline constexpr Field kSlotDisplayNameField = {0, 64};     // UTF-16, at most 31 units
inline constexpr Field kSlotIdentityField = {64, 64};       // ASCII, at most 63 bytes
inline constexpr Field kSlotPackagedField = {128, 4};       // 1 packaged, 0 desktop
inline constexpr Field kSlotReservedField = {132, 4};       // written as 0
inline constexpr Field kSlotLastUsedStartField = {136, 8};  // FILETIME, never 0
inline constexpr std::size_t kSlotDisplayNameUnits = kSlotDisplayNameField.size / 2;
inline constexpr std::size_t kSlotIdentityBytes = kSlotIdentityField.size;

static_assert(detail::IsWord(kConsumersMagicField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersVersionField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersCountField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersUpdatedTickField, kConsumersBlockSize) &&
              detail::IsWord(kConsumersSequenceField, kConsumersBlockSize));
static_assert(detail::Precedes(kConsumersUpdatedTickField, kConsumersEntriesField) &&
              kConsumersEntriesField.offset % 8 == 0 &&
              kConsumersEntriesField.offset + kConsumersEntriesField.size ==
                  kConsumersSequenceField.offset &&
              kConsumersSequenceField.offset + kConsumersSequenceField.size + 4 ==
                  kConsumersBlockSize);  // and a reserved word
static_assert(detail::Precedes(kSlotDisplayNameField, kSlotIdentityField) &&
              detail::Precedes(kSlotIdentityField, kSlotPackagedField) &&
              detail::IsWord(kSlotPackagedField, kConsumerSlotSize) &&
              detail::IsWord(kSlotReservedField, kConsumerSlotSize) &&
              detail::IsWord(kSlotLastUsedStartField, kConsumerSlotSize) &&
              kSlotLastUsedStartField.offset + kSlotLastUsedStartField.size == kConsumerSlotSize &&
              kConsumerSlotSize % 8 == 0);

// One consumer as a slot holds it.
struct ConsumerSlot {
    std::u16string displayName;
    std::string identity;  // a desktop app's executable file name, a package family name
    std::uint32_t packaged = 0;
    std::uint64_t lastUsedStart = 0;  // FILETIME (100 ns units since 1601-01-01 UTC)

    friend bool operator==(const ConsumerSlot& a, const ConsumerSlot& b) {
        return a.displayName == b.displayName && a.identity == b.identity &&
               a.packaged == b.packaged && a.lastUsedStart == b.lastUsedStart;
    }
};

// The virtual camera stamps magic and version (other values only to test the agent's refusal);
// each word is stored only when `size` holds it.
inline void StampConsumersHeader(void* block, std::size_t size,
                                 std::uint32_t magic = kConsumersMagic,
                                 std::uint32_t version = kConsumersVersion) noexcept {
    detail::StoreIfHeld(block, size, kConsumersMagicField, magic);
    detail::StoreIfHeld(block, size, kConsumersVersionField, version);
}

// Whether the block is mapped at its size and stamped as expected; the agent writes no other.
[[nodiscard]] inline bool IsConsumersBlockValid(const void* block, std::size_t size) noexcept {
    return block != nullptr && size >= kConsumersBlockSize &&
           detail::Load<std::uint32_t>(block, kConsumersMagicField.offset) == kConsumersMagic &&
           detail::Load<std::uint32_t>(block, kConsumersVersionField.offset) == kConsumersVersion;
}

// The agent's write, in two steps so that it can read its clock between them and the update
// tick never predates the list. The first step stores the first kMaxConsumers of `slots`
// (`count` of them) into a valid block: each slot whole, one aligned 32-bit store at a time
// from its start (the name cut to 31 units and the identity to 63 bytes, each zero-terminated
// and zero-filled; a slot beyond the list all zero), then the count with a release store.
// Writes nothing and returns false when the block is not valid.
[[nodiscard]] inline bool WriteConsumerSlots(void* block, std::size_t size,
                                             const ConsumerSlot* slots,
                                             std::size_t count) noexcept {
    if (!IsConsumersBlockValid(block, size)) {
        return false;
    }
    const std::size_t n = count < kMaxConsumers ? count : kMaxConsumers;
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        alignas(8) unsigned char image[kConsumerSlotSize] = {};
        if (i < n) {
            const ConsumerSlot& slot = slots[i];
            for (std::size_t unit = 0;
                 unit < slot.displayName.size() && unit < kSlotDisplayNameUnits - 1; ++unit) {
                image[kSlotDisplayNameField.offset + 2 * unit] =
                    static_cast<unsigned char>(slot.displayName[unit] & 0xFF);
                image[kSlotDisplayNameField.offset + 2 * unit + 1] =
                    static_cast<unsigned char>(slot.displayName[unit] >> 8);
            }
            for (std::size_t byte = 0; byte < slot.identity.size() && byte < kSlotIdentityBytes - 1;
                 ++byte) {
                image[kSlotIdentityField.offset + byte] =
                    static_cast<unsigned char>(slot.identity[byte]);
            }
            std::memcpy(image + kSlotPackagedField.offset, &slot.packaged, sizeof slot.packaged);
            std::memcpy(image + kSlotLastUsedStartField.offset, &slot.lastUsedStart,
                        sizeof slot.lastUsedStart);
        }
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        for (std::size_t word = 0; word < kConsumerSlotSize; word += sizeof(std::uint32_t)) {
            std::uint32_t value = 0;
            std::memcpy(&value, image + word, sizeof value);
            detail::Store(block, at + word, value);
        }
    }
    detail::Store(block, kConsumersCountField.offset, static_cast<std::uint32_t>(n),
                  std::memory_order_release);
    return true;
}

// The second step, after a first that returned true: stores `tick` as the update tick (a
// release store, after the count), then increments `sequence` with a full barrier, so that a
// reader who sees the new sequence sees the slots, the count and the tick.
inline void StampConsumersUpdate(void* block, std::uint64_t tick) noexcept {
    detail::Store(block, kConsumersUpdatedTickField.offset, tick, std::memory_order_release);
    detail::Word<std::uint32_t>(block, kConsumersSequenceField.offset)
        .fetch_add(1, std::memory_order_seq_cst);
}

struct ConsumersReading {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    bool valid = false;               // magic and version as expected
    std::uint32_t count = 0;          // as stored, even beyond the slots
    std::uint64_t updatedTick = 0;    // 0: never written
    std::vector<ConsumerSlot> slots;  // the slots below the count
    std::uint32_t sequence = 0;
};

// The fields of a block nobody writes meanwhile, such as a copy (for the live block, see
// SnapshotConsumers); nothing when `size` is below the block's. A text is read up to its
// terminator, or whole without one.
[[nodiscard]] inline std::optional<ConsumersReading> ReadConsumersBlock(const void* block,
                                                                        std::size_t size) noexcept {
    using detail::At;
    using detail::Load;
    if (block == nullptr || size < kConsumersBlockSize) {
        return std::nullopt;
    }
    ConsumersReading r;
    r.magic = Load<std::uint32_t>(block, kConsumersMagicField.offset);
    r.version = Load<std::uint32_t>(block, kConsumersVersionField.offset);
    r.valid = r.magic == kConsumersMagic && r.version == kConsumersVersion;
    r.count = Load<std::uint32_t>(block, kConsumersCountField.offset);
    r.updatedTick = Load<std::uint64_t>(block, kConsumersUpdatedTickField.offset);
    for (std::size_t i = 0; i < r.count && i < kMaxConsumers; ++i) {
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        ConsumerSlot slot;
        const unsigned char* name = At(block, at + kSlotDisplayNameField.offset);
        for (std::size_t unit = 0; unit < kSlotDisplayNameUnits; ++unit) {
            const auto c = static_cast<char16_t>(name[2 * unit] | name[2 * unit + 1] << 8);
            if (c == 0) {
                break;
            }
            slot.displayName += c;
        }
        const auto* identity =
            reinterpret_cast<const char*>(At(block, at + kSlotIdentityField.offset));
        for (std::size_t byte = 0; byte < kSlotIdentityBytes && identity[byte] != 0; ++byte) {
            slot.identity += identity[byte];
        }
        slot.packaged = Load<std::uint32_t>(block, at + kSlotPackagedField.offset);
        slot.lastUsedStart = Load<std::uint64_t>(block, at + kSlotLastUsedStartField.offset);
        r.slots.push_back(std::move(slot));
    }
    r.sequence = Load<std::uint32_t>(block, kConsumersSequenceField.offset);
    return r;
}

namespace detail {

// A text field of `units` units of `unitBytes` bytes each: terminated, and zero behind the
// terminator.
inline bool IsTerminatedText(const unsigned char* text, std::size_t units,
                             std::size_t unitBytes) noexcept {
    bool ended = false;
    for (std::size_t unit = 0; unit < units; ++unit) {
        bool zero = true;
        for (std::size_t byte = 0; byte < unitBytes; ++byte) {
            zero = zero && text[unit * unitBytes + byte] == 0;
        }
        if (ended && !zero) {
            return false;
        }
        ended = ended || zero;
    }
    return ended;
}

}  // namespace detail

// Judges a copy of the consumers block (kConsumersBlockSize bytes) taken between two reads of
// its `sequence`. Rejected: another magic or version, a count above kMaxConsumers, a slot
// within the count that is not a whole consumer (a text without its terminator or with bytes
// behind it, an empty identity, `packaged` other than 0 or 1, a non-zero reserved word, no
// start time), a non-zero byte in a slot beyond the count. A block the agent has not written
// yet (count 0, update tick 0) is accepted as the empty list.
//
// What an accepted copy is. No write finished while it was taken. If none was in progress
// either, it is the last finished write, whole. If the agent was stopped inside one for the
// whole copy (it writes the slots in order, then the count, then the tick, then the sequence):
//   - slots below both the previous and the new count are rewritten in place, so a copy taken
//     after the first of those slot stores and before the count store is ACCEPTED whenever each
//     slot still looks whole, and then mixes the two lists, slot by slot or even within a slot
//     (its words are stored one by one); nothing in the block tells it. (A list written again
//     unchanged, as the agent does every second, changes no byte there.)
//   - a slot the new list fills beyond the previous count, or empties below it, makes the copy
//     rejected from that slot's store until the count store;
//   - after the count store and before the sequence increment: accepted; it is the new list
//     whole, under the previous sequence (and, before the tick store, the previous tick).
[[nodiscard]] inline SnapshotVerdict JudgeConsumersCopy(std::uint32_t sequenceBefore,
                                                        const void* copy,
                                                        std::uint32_t sequenceAfter) noexcept {
    using detail::At;
    using detail::Load;
    if (sequenceBefore != sequenceAfter) {
        return SnapshotVerdict::kRetry;
    }
    const std::uint32_t count = Load<std::uint32_t>(copy, kConsumersCountField.offset);
    if (Load<std::uint32_t>(copy, kConsumersMagicField.offset) != kConsumersMagic ||
        Load<std::uint32_t>(copy, kConsumersVersionField.offset) != kConsumersVersion ||
        count > kMaxConsumers) {
        return SnapshotVerdict::kRejected;
    }
    for (std::size_t i = 0; i < kMaxConsumers; ++i) {
        const std::size_t at = kConsumersEntriesField.offset + i * kConsumerSlotSize;
        const unsigned char* slot = At(copy, at);
        bool whole = false;
        if (i < count) {
            const std::uint32_t packaged =
                Load<std::uint32_t>(copy, at + kSlotPackagedField.offset);
            whole =
                detail::IsTerminatedText(slot + kSlotDisplayNameField.offset, kSlotDisplayNameUnits,
                                         2) &&
                detail::IsTerminatedText(slot + kSlotIdentityField.offset, kSlotIdentityBytes, 1) &&
                slot[kSlotIdentityField.offset] != 0 && (packaged == 0 || packaged == 1) &&
                Load<std::uint32_t>(copy, at + kSlotReservedField.offset) == 0 &&
                Load<std::uint64_t>(copy, at + kSlotLastUsedStartField.offset) != 0;
        } else {
            whole = true;
            for (std::size_t byte = 0; byte < kConsumerSlotSize; ++byte) {
                whole = whole && slot[byte] == 0;
            }
        }
        if (!whole) {
            return SnapshotVerdict::kRejected;
        }
    }
    return SnapshotVerdict::kAccepted;
}

// Snapshots: the looping readers around the judges.

namespace detail {

// A block's bytes, aligned as a mapped view is (the size rounded up, so that the alignment adds
// no padding).
template <std::size_t kSize>
struct BlockCopy {
    alignas(8) unsigned char bytes[(kSize + 7) / 8 * 8];
};

// Copies the live block into `copy` between an acquire load of `sequence` and a second load
// behind an acquire fence (the reader's half of the writer's fence and counter store), every
// word with one aligned load, until the judge accepts a copy or `attempts` copies are spent.
template <std::size_t kSize, typename Judge>
bool CopyPublication(const void* block, std::size_t size, std::size_t sequenceOffset, Judge judge,
                     int attempts, BlockCopy<kSize>& copy) noexcept {
    static_assert(kSize % 4 == 0, "the block is copied word by word");
    if (block == nullptr || size < kSize) {
        return false;
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            std::this_thread::yield();  // give a writer in the middle of a publication a turn
        }
        const auto before = Load<std::uint32_t>(block, sequenceOffset, std::memory_order_acquire);
        for (std::size_t at = 0; at < kSize; at += 4) {
            const auto word = Load<std::uint32_t>(block, at);
            std::memcpy(copy.bytes + at, &word, 4);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        const auto after = Load<std::uint32_t>(block, sequenceOffset);
        if (judge(before, copy.bytes, after) == SnapshotVerdict::kAccepted) {
            return true;
        }
    }
    return false;
}

}  // namespace detail

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

// The live consumers block as the last finished write, in the terms of JudgeConsumersCopy; as
// SnapshotCapabilities.
[[nodiscard]] inline std::optional<ConsumersReading> SnapshotConsumers(
    const void* block, std::size_t size, int attempts = kSnapshotAttempts) noexcept {
    detail::BlockCopy<kConsumersBlockSize> copy;
    if (!detail::CopyPublication(block, size, kConsumersSequenceField.offset, JudgeConsumersCopy,
                                 attempts, copy)) {
        return std::nullopt;
    }
    return ReadConsumersBlock(copy.bytes, sizeof copy.bytes);
}

}  // namespace orbelune::vcam
