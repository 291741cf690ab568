// The base of the shared-memory contract between the Orbelune camera agent and the virtual
// camera: the section prefixes, how a block's fields are described and accessed, the freshness
// rule for ticks, and what a reader makes of a copy of a published block. Portable C++17 with
// the standard library only. vcam_peer.h is the virtual camera's side of the blocks built on it,
// vcam_agent.h the agent's.
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

}  // namespace orbelune::vcam
