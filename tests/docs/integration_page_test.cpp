// docs/INTEGRATION.md gives the shared blocks byte by byte to the people who build the virtual
// camera: each section's name, size, magic and version, and the offset and size of every field
// of its header, entries and slots. Each line stands here as the page has it, and the public
// header's constants must give the same line.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "orbelune/vcam_blocks.h"

namespace orbelune::vcam {
namespace {

// A line of the page, and the same line made from the contract's constants.
using Line = std::pair<std::string, std::string_view>;

Line Title(const wchar_t* name, size_t size, std::uint32_t magic, std::uint32_t version,
           std::string_view onPage) {
    char title[128] = {};
    std::snprintf(title, sizeof title, "Section `%ls`, **%zu bytes**, magic 0x%08X, version %u",
                  name, size, static_cast<unsigned>(magic), static_cast<unsigned>(version));
    return {title, onPage};
}

// A field's table row starts "| offset | size | `name` |".
Line Row(Field field, std::string_view onPage) {
    return {"| " + std::to_string(field.offset) + " | " + std::to_string(field.size) + " | " +
                std::string(onPage.substr(onPage.find('`'))),
            onPage};
}

TEST(IntegrationPageTest, BlockLayoutsMatchTheContract) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(ORBELUNE_SOURCE_DIR "/docs/INTEGRATION.md");
    const std::string page{std::istreambuf_iterator<char>(file), {}};
    const Line kLines[] = {
        Title(kControlSectionName, kControlBlockSize, kControlMagic, kControlVersion,
              "Section `OrbeluneVcamControl.v2`, **80 bytes**, magic 0x4F425643, version 2"),
        Title(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
              kCapabilitiesVersion,
              "Section `OrbeluneVcamCapabilities.v1`, **2068 bytes**, magic 0x4F425650, version 1"),
        Title(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion,
              "Section `OrbeluneVcamConsumers.v1`, **608 bytes**, magic 0x4F42434F, version 1"),
        Row(kControlCameraIndexField, "| 12 | 4 | `cameraIndex` |"),
        Row(kControlDemandTickField, "| 16 | 8 | `demandTick` |"),
        Row(kControlConsumerStartTickField, "| 24 | 8 | `consumerStartTick` |"),
        Row(kControlConsumerHeartbeatTickField, "| 48 | 8 | `consumerHeartbeatTick` |"),
        Row(kCapabilitiesCameraIndexField, "| 8 | 4 | `cameraIndex` |"),
        Row(kCapabilitiesCountField, "| 12 | 4 | `count` |"),
        Row(kCapabilitiesEntriesField, "| 16 | 2048 | `entries` |"),
        Row(kCapabilitiesSequenceField, "| 2064 | 4 | `sequence` |"),
        Row(kCapabilityWidthField, "| 0 | 4 | `width` |"),
        Row(kCapabilityHeightField, "| 4 | 4 | `height` |"),
        Row(kCapabilityFrameRateNumeratorField, "| 8 | 4 | `frameRateNumerator` |"),
        Row(kCapabilityFrameRateDenominatorField, "| 12 | 4 | `frameRateDenominator` |"),
        Row(kConsumersCountField, "| 8 | 4 | `count` |"),
        Row(kConsumersUpdatedTickField, "| 16 | 8 | `updatedTick` |"),
        Row(kConsumersEntriesField, "| 24 | 576 | `entries` |"),
        Row(kConsumersSequenceField, "| 600 | 4 | `sequence` |"),
        Row(kSlotDisplayNameField, "| 0 | 64 | `displayName` |"),
        Row(kSlotIdentityField, "| 64 | 64 | `identity` |"),
        Row(kSlotPackagedField, "| 128 | 4 | `packaged` |"),
        Row(kSlotLastUsedStartField, "| 136 | 8 | `lastUsedStart` |"),
    };
    for (const auto& [fromContract, onPage] : kLines) {
        EXPECT_EQ(fromContract, onPage);
        EXPECT_NE(page.find(onPage), std::string::npos) << onPage;
    }
}

}  // namespace
}  // namespace orbelune::vcam
