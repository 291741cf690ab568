// The three shared-memory blocks between the Orbelune camera agent and the virtual camera, byte
// by byte: their section names, sizes, magics and versions, every field, how a field is read and
// written, what a tick means, and a typed view of each block for the virtual camera's calls.
// Portable C++17 with the standard library only. vcam_agent.h is the agent's face of the blocks,
// vcam_peer.h (with vcam_snapshot.h) the virtual camera's, vcam_peer_win.h its sections.
//
// Every integer is little-endian at its natural alignment and is read and written in the
// host's byte order. A block pointer given to these functions must be aligned to 8 bytes (a
// mapped view is aligned to a page); a size is the number of bytes behind it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

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

inline void* At(void* block, std::size_t offset) noexcept {
    return static_cast<unsigned char*>(block) + offset;
}

inline const void* At(const void* block, std::size_t offset) noexcept {
    return static_cast<const unsigned char*>(block) + offset;
}

// Whether a block pointer has the alignment that its 64-bit words need.
inline bool IsBlockAligned(const void* block) noexcept {
    return reinterpret_cast<std::uintptr_t>(block) % 8 == 0;
}

// Whether a view can hold a block of `blockSize` bytes: not null, long enough, aligned.
inline bool Holds(const void* block, std::size_t size, std::size_t blockSize) noexcept {
    return block != nullptr && size >= blockSize && IsBlockAligned(block);
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
    return std::atomic_ref<T>(*static_cast<T*>(At(block, offset)));
}
#else
template <typename T>
std::atomic<T>& Word(void* block, std::size_t offset) noexcept {
    static_assert(sizeof(std::atomic<T>) == sizeof(T) && alignof(std::atomic<T>) == alignof(T) &&
                      std::atomic<T>::is_always_lock_free,
                  "a shared word is viewed as a std::atomic of the same size and alignment");
    return *static_cast<std::atomic<T>*>(At(block, offset));
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

}  // namespace detail

// Ticks are milliseconds of GetTickCount64, the same clock in every process of the machine; 0
// means never. A tick counts (is fresh) while it is not 0, not later than `now` and at most
// kFreshnessMs old, compared as unsigned 64-bit numbers. Load the tick first and read the clock
// for `now` after it: a tick stamped between a clock reading and a later load is later than
// that reading, and never fresh.
inline constexpr std::uint64_t kFreshnessMs = 2500;

[[nodiscard]] constexpr bool IsFresh(std::uint64_t tick, std::uint64_t now) noexcept {
    return tick != 0 && tick <= now && now - tick <= kFreshnessMs;
}

// The control block: the virtual camera's ticks and the agent's camera index. There is no lock
// and no counter: the two sides write disjoint fields, each with one aligned store of its width,
// and read them with one aligned load each. Bytes 8-11, 32-47 and 56-79 are the virtual
// camera's own; the agent never touches them.
inline constexpr wchar_t kControlSectionName[] = L"OrbeluneVcamControl.v2";
inline constexpr std::size_t kControlBlockSize = 80;
inline constexpr std::uint32_t kControlMagic = 0x4F425643;  // "CVBO" in memory
inline constexpr std::uint32_t kControlVersion = 2;

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

// The capabilities block: the native formats of the agent's camera, published by the agent,
// which stamps its header too.
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

// The consumers block: the applications using a camera, published by the agent into a block the
// virtual camera stamped. Magic and version are the virtual camera's stamp; the agent compares
// them and never writes them, nor the reserved words at 12 and 604.
inline constexpr wchar_t kConsumersSectionName[] = L"OrbeluneVcamConsumers.v1";
inline constexpr std::size_t kConsumersBlockSize = 608;
inline constexpr std::uint32_t kConsumersMagic = 0x4F42434F;  // "OCBO" in memory
inline constexpr std::uint32_t kConsumersVersion = 1;

// The number of slots; the agent publishes at most this many consumers.
inline constexpr std::size_t kMaxConsumers = 4;
inline constexpr std::size_t kConsumerSlotSize = 144;

// An agent rewrites the consumers block at most once per this many milliseconds of its clock,
// with or without consumers.
inline constexpr std::uint64_t kConsumersRewriteMs = 1000;

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

// The virtual camera's views of the three blocks: the memory of one block and its size, typed by
// the block, so that each of the virtual camera's calls takes the one block it may touch. The
// capabilities and consumers views are read-only (their snapshots only read), and may be made
// over any memory, a read-only mapping too. The control view is the only one written through:
// it has no public constructor but the empty one, and comes from the sections that own the
// mapping (vcam_peer_win.h's PeerSections, through detail::ControlViews), so that no tick is
// stamped into memory that is not a control block.
struct CapabilitiesView {
    const void* block = nullptr;
    std::size_t size = 0;
};

struct ConsumersView {
    const void* block = nullptr;
    std::size_t size = 0;
};

class ControlView;

namespace detail {

// The one maker of control views, for the sections that own the mapping.
struct ControlViews {
    static ControlView Over(void* block, std::size_t size) noexcept;
    static void* Block(const ControlView& view) noexcept;
    static std::size_t Size(const ControlView& view) noexcept;
};

}  // namespace detail

class ControlView {
  public:
    ControlView() noexcept = default;  // a view of nothing: a call given it does nothing

  private:
    friend struct detail::ControlViews;
    ControlView(void* block, std::size_t size) noexcept : block_(block), size_(size) {}

    void* block_ = nullptr;
    std::size_t size_ = 0;
};

inline ControlView detail::ControlViews::Over(void* block, std::size_t size) noexcept {
    return {block, size};
}
inline void* detail::ControlViews::Block(const ControlView& view) noexcept {
    return view.block_;
}
inline std::size_t detail::ControlViews::Size(const ControlView& view) noexcept {
    return view.size_;
}

}  // namespace orbelune::vcam
