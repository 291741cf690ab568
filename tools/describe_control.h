// Readable text of a control block, for the peer simulator and the status tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orbelune {

// The block's header, the camera index and each tick with its age at `now` and whether it
// counts as fresh, then demand and consumer presence as the agent would decide them.
std::string DescribeControlBlock(std::span<std::byte> block, std::uint64_t now);

}  // namespace orbelune
