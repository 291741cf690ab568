// docs/INTEGRATION.md gives the shared blocks byte by byte: each section's name, size, magic and
// version, and the offset and size of every field. Each line the public header's constants make
// must stand on the page (the contract's own tests hold the constants to the bytes).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "orbelune/vcam_blocks.h"

namespace orbelune::vcam {
namespace {

std::string Title(const wchar_t* name, size_t size, std::uint32_t magic, std::uint32_t version) {
    char title[128] = {};
    std::snprintf(title, sizeof title, "Section `%ls`, **%zu bytes**, magic 0x%08X, version %u",
                  name, size, static_cast<unsigned>(magic), static_cast<unsigned>(version));
    return title;
}

std::string Row(Field field, const char* name) {
    return "| " + std::to_string(field.offset) + " | " + std::to_string(field.size) + " | `" +
           name + "` |";
}

TEST(IntegrationPageTest, BlockLayoutsMatchTheContract) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(ORBELUNE_SOURCE_DIR "/docs/INTEGRATION.md");
    const std::string page{std::istreambuf_iterator<char>(file), {}};
    const std::string kLines[] = {
        Title(kControlSectionName, kControlBlockSize, kControlMagic, kControlVersion),
        Title(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
              kCapabilitiesVersion),
        Title(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion),
        Row(kControlCameraIndexField, "cameraIndex"),
        Row(kControlDemandTickField, "demandTick"),
        Row(kControlConsumerStartTickField, "consumerStartTick"),
        Row(kControlConsumerHeartbeatTickField, "consumerHeartbeatTick"),
        Row(kCapabilitiesCameraIndexField, "cameraIndex"),
        Row(kCapabilitiesCountField, "count"),
        Row(kCapabilitiesEntriesField, "entries"),
        Row(kCapabilitiesSequenceField, "sequence"),
        Row(kCapabilityWidthField, "width"),
        Row(kCapabilityHeightField, "height"),
        Row(kCapabilityFrameRateNumeratorField, "frameRateNumerator"),
        Row(kCapabilityFrameRateDenominatorField, "frameRateDenominator"),
        Row(kConsumersCountField, "count"),
        Row(kConsumersUpdatedTickField, "updatedTick"),
        Row(kConsumersEntriesField, "entries"),
        Row(kConsumersSequenceField, "sequence"),
        Row(kSlotDisplayNameField, "displayName"),
        Row(kSlotIdentityField, "identity"),
        Row(kSlotPackagedField, "packaged"),
        Row(kSlotLastUsedStartField, "lastUsedStart"),
    };
    for (const std::string& line : kLines) {
        EXPECT_NE(page.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace orbelune::vcam
