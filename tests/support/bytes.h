// Little-endian field access through a span, for building and inspecting the shared blocks'
// bytes in tests and benchmarks; never a struct mapped over shared memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orbelune {

static_assert(std::endian::native == std::endian::little,
              "the shared blocks are little-endian and written with the host's byte order");

template <typename T>
T Load(std::span<const std::byte> bytes, size_t offset) {
    T value = 0;
    std::memcpy(&value, bytes.subspan(offset, sizeof value).data(), sizeof value);
    return value;
}
template <typename T>
void Store(std::span<std::byte> bytes, size_t offset, T value) {
    std::memcpy(bytes.subspan(offset, sizeof value).data(), &value, sizeof value);
}
constexpr auto LoadU32 = Load<std::uint32_t>;
constexpr auto LoadU64 = Load<std::uint64_t>;
constexpr auto StoreU32 = Store<std::uint32_t>;
constexpr auto StoreU64 = Store<std::uint64_t>;

}  // namespace orbelune
