// Little-endian field access through a span, for building, inspecting and stamping the shared
// blocks' bytes in tests and benchmarks; never a struct mapped over shared memory. And blocks as
// the agent publishes them, read back as the tools read them.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "orbelune/vcam_agent.h"
#include "tools/report/block_reading.h"

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

// A naturally aligned word of a section that another process reads or writes at the same time,
// as a test stamps a live block: one load or store of the word's full width, never torn.
template <typename T>
std::atomic_ref<T> SharedWord(std::span<std::byte> bytes, size_t offset) {
    std::byte* word = bytes.subspan(offset, sizeof(T)).data();
    return std::atomic_ref<T>(*reinterpret_cast<T*>(word));
}

inline auto PublishedCapabilities(std::span<const vcam::CameraCapability> formats,
                                  std::int32_t cameraIndex) {
    std::vector<std::byte> block(2068);
    vcam::WriteCapabilitiesBlock(block.data(), 2068, formats.data(), formats.size(), cameraIndex);
    return vcam::ReadCapabilitiesBlock(block.data(), 2068);
}
// `slots` written at `tick` into a block the virtual camera stamped.
inline auto PublishedConsumers(std::span<const vcam::ConsumerSlot> slots, std::uint64_t tick) {
    std::vector<std::byte> block(608);
    std::memcpy(block.data(), "OCBO\1\0\0\0", 8);  // stamped as the virtual camera does
    const bool written = vcam::WriteConsumerSlots(block.data(), 608, slots.data(), slots.size());
    vcam::StampConsumersUpdate(block.data(), tick);
    return written ? vcam::ReadConsumersBlock(block.data(), 608) : std::nullopt;
}

}  // namespace orbelune
