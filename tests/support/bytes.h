// Little-endian field access through a span, for building, inspecting and stamping the shared
// blocks' bytes in tests and benchmarks; never a struct mapped over shared memory.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orbelune {

static_assert(std::endian::native == std::endian::little,
              "the shared blocks are little-endian and written with the host's byte order");

inline std::uint32_t LoadU32(std::span<const std::byte> bytes, size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.subspan(offset, sizeof value).data(), sizeof value);
    return value;
}

inline std::uint64_t LoadU64(std::span<const std::byte> bytes, size_t offset) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.subspan(offset, sizeof value).data(), sizeof value);
    return value;
}

inline void StoreU32(std::span<std::byte> bytes, size_t offset, std::uint32_t value) {
    std::memcpy(bytes.subspan(offset, sizeof value).data(), &value, sizeof value);
}

inline void StoreU64(std::span<std::byte> bytes, size_t offset, std::uint64_t value) {
    std::memcpy(bytes.subspan(offset, sizeof value).data(), &value, sizeof value);
}

// A naturally aligned word of a section that another process reads or writes at the same time,
// as a test stamps a live block: one load or store of the word's full width, never torn.
template <typename T>
std::atomic_ref<T> SharedWord(std::span<std::byte> bytes, size_t offset) {
    std::byte* word = bytes.subspan(offset, sizeof(T)).data();
    return std::atomic_ref<T>(*reinterpret_cast<T*>(word));
}

}  // namespace orbelune
