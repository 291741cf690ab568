// Little-endian field access by value through a span, for building and inspecting the shared
// blocks' bytes in tests and benchmarks; never a struct mapped over shared memory.
#pragma once

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

}  // namespace orbelune
