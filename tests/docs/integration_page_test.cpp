// docs/INTEGRATION.md gives the shared blocks byte by byte to the people who build the virtual
// camera: each section's name, size, magic and version, and the offset and size of each field
// after the header, entries and slots included, must be the ones the code uses.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "agent/control_block.h"
#include "capabilities/capabilities.h"
#include "consumers/consumers_block.h"

namespace orbelune {
namespace {

// The start of a table row: "| offset | size | `field` |".
std::string Row(size_t offset, size_t size, const char* field) {
    return "| " + std::to_string(offset) + " | " + std::to_string(size) + " | `" + field + "` |";
}

std::string Header(const wchar_t* name, size_t size, std::uint32_t magic, std::uint32_t version) {
    char text[128] = {};
    std::snprintf(text, sizeof text, "Section `%ls`, **%u bytes**, magic 0x%08X, version %u", name,
                  static_cast<unsigned>(size), static_cast<unsigned>(magic),
                  static_cast<unsigned>(version));
    return text;
}

TEST(IntegrationPageTest, BlockLayoutsMatchTheCode) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(ORBELUNE_SOURCE_DIR "/docs/INTEGRATION.md");
    const std::string page{std::istreambuf_iterator<char>(file), {}};
    const struct {
        const char* heading;
        std::vector<std::string> lines;
    } kBlocks[] = {
        {"### Control block",
         {Header(kControlBlockName, kControlBlockSize, kControlMagic, kControlVersion),
          Row(kControlCameraIndexOffset, 4, "cameraIndex"),
          Row(kControlDemandTickOffset, 8, "demandTick"),
          Row(kControlConsumerStartTickOffset, 8, "consumerStartTick"),
          Row(kControlConsumerHeartbeatTickOffset, 8, "consumerHeartbeatTick")}},
        {"### Capabilities block",
         {Header(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
                 kCapabilitiesVersion),
          Row(kCapabilitiesCameraIndexOffset, 4, "cameraIndex"),
          Row(kCapabilitiesCountOffset, 4, "count"),
          Row(kCapabilitiesEntriesOffset, kMaxCapabilities * kCapabilitiesEntrySize, "entries"),
          Row(kCapabilitiesSequenceOffset, 4, "sequence"),
          Row(offsetof(CameraCapability, width), 4, "width"),
          Row(offsetof(CameraCapability, height), 4, "height"),
          Row(offsetof(CameraCapability, frameRateNumerator), 4, "frameRateNumerator"),
          Row(offsetof(CameraCapability, frameRateDenominator), 4, "frameRateDenominator")}},
        {"### Consumers block",
         {Header(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion),
          Row(kConsumersCountOffset, 4, "count"),
          Row(kConsumersUpdatedTickOffset, 8, "updatedTick"),
          Row(kConsumersEntriesOffset, kMaxConsumers * kConsumerSlotSize, "entries"),
          Row(kConsumersSequenceOffset, 4, "sequence"),
          Row(kSlotDisplayNameOffset, kSlotDisplayNameUnits * 2, "displayName"),
          Row(kSlotIdentityOffset, kSlotIdentityBytes, "identity"),
          Row(kSlotPackagedOffset, 4, "packaged"),
          Row(kSlotLastUsedStartOffset, 8, "lastUsedStart")}},
    };
    for (const auto& block : kBlocks) {
        const size_t begin = page.find(block.heading);
        ASSERT_NE(begin, std::string::npos) << block.heading << " in docs/INTEGRATION.md";
        const std::string section = page.substr(begin, page.find("\n### ", begin + 1) - begin);
        for (const std::string& line : block.lines) {
            EXPECT_NE(section.find(line), std::string::npos) << block.heading << ": " << line;
        }
    }
}

}  // namespace
}  // namespace orbelune
