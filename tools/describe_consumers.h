// Readable text of a consumers block, for the tools that show what the agent published.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace orbelune {

// The header (magic and version, each marked valid or not), the count, update tick and
// sequence, then one line per slot below the count: name and identity as quoted text, desktop or
// packaged, and the start time in UTC. Slots at or beyond the count that are not all zero are
// pointed out. A span shorter than the block gives a single line saying so.
std::string DescribeConsumersBlock(std::span<const std::byte> block);

}  // namespace orbelune
