// Readable text of a capabilities block, for the peer simulator and the status inspector.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace orbelune {

// One line each for the header, the count and the sequence, and one line per entry as
// "WxH@num/den". The header is shown as found, with a note when magic or version differ from
// what the agent writes; a count beyond the slots lists only the slots. A span shorter than
// the block gives a single line saying so.
std::string DescribeCapabilitiesBlock(std::span<const std::byte> block);

}  // namespace orbelune
