#include "tools/describe_capabilities.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "capabilities/capabilities.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

std::string Hex32(std::uint32_t value) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string DescribeCapabilitiesBlock(std::span<const std::byte> block) {
    if (block.size() < kCapabilitiesBlockSize) {
        return "capabilities block too small: " + std::to_string(block.size()) + " of " +
               std::to_string(kCapabilitiesBlockSize) + " bytes\n";
    }
    const std::uint32_t magic = LoadU32(block, kCapabilitiesMagicOffset);
    const std::uint32_t version = LoadU32(block, kCapabilitiesVersionOffset);
    const std::uint32_t count = LoadU32(block, kCapabilitiesCountOffset);

    std::string text = "magic " + Hex32(magic);
    if (magic != kCapabilitiesMagic) {
        text += " (expected " + Hex32(kCapabilitiesMagic) + ")";
    }
    text += " version " + std::to_string(version);
    if (version != kCapabilitiesVersion) {
        text += " (expected " + std::to_string(kCapabilitiesVersion) + ")";
    }
    text += " cameraIndex " + std::to_string(LoadU32(block, kCapabilitiesCameraIndexOffset));
    text += "\ncount " + std::to_string(count);
    if (count > kMaxCapabilities) {
        text += " (more than the " + std::to_string(kMaxCapabilities) + " slots)";
    }
    text += "\n";
    const size_t shown = std::min<size_t>(count, kMaxCapabilities);
    for (size_t i = 0; i < shown; ++i) {
        const size_t at = kCapabilitiesEntriesOffset + i * kCapabilitiesEntrySize;
        text += "  [" + std::to_string(i) + "] " + std::to_string(LoadU32(block, at)) + "x" +
                std::to_string(LoadU32(block, at + 4)) + "@" +
                std::to_string(LoadU32(block, at + 8)) + "/" +
                std::to_string(LoadU32(block, at + 12)) + "\n";
    }
    text += "sequence " + std::to_string(LoadU32(block, kCapabilitiesSequenceOffset)) + "\n";
    return text;
}

}  // namespace orbelune
