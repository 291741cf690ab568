#include "agent/control_block.h"

#include <algorithm>

#include "common/bytes.h"

namespace orbelune {

bool ControlBlockValid(std::span<std::byte> block) {
    if (block.size() < kControlBlockSize) {
        return false;
    }
    return SharedWord<std::uint32_t>(block, kControlMagicOffset).load(std::memory_order_relaxed) ==
               kControlMagic &&
           SharedWord<std::uint32_t>(block, kControlVersionOffset)
                   .load(std::memory_order_relaxed) == kControlVersion;
}

std::uint64_t LoadControlTick(std::span<std::byte> block, size_t tickOffset) {
    return SharedWord<std::uint64_t>(block, tickOffset).load(std::memory_order_relaxed);
}

void StoreControlCameraIndex(std::span<std::byte> block, std::int32_t cameraIndex) {
    SharedWord<std::uint32_t>(block, kControlCameraIndexOffset)
        .store(static_cast<std::uint32_t>(std::max(cameraIndex, 0)), std::memory_order_relaxed);
}

}  // namespace orbelune
