// docs/INTEGRATION.md gives the shared blocks byte by byte to the people who build the virtual
// camera: each section's name, size, magic and version, and the offset and size of every field
// of its header, entries and slots must be the ones the code uses.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "agent/control_block.h"
#include "capabilities/capabilities.h"
#include "consumers/consumers_block.h"

namespace orbelune {
namespace {

TEST(IntegrationPageTest, BlockLayoutsMatchTheCode) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(ORBELUNE_SOURCE_DIR "/docs/INTEGRATION.md");
    const std::string page{std::istreambuf_iterator<char>(file), {}};
    const auto expectHeader = [&](const wchar_t* name, size_t size, unsigned magic,
                                  unsigned version) {
        char header[128] = {};
        std::snprintf(header, sizeof header,
                      "Section `%ls`, **%zu bytes**, magic 0x%08X, version %u", name, size, magic,
                      version);
        EXPECT_NE(page.find(header), std::string::npos) << header;
    };
    expectHeader(kControlBlockName, kControlBlockSize, kControlMagic, kControlVersion);
    expectHeader(kCapabilitiesSectionName, kCapabilitiesBlockSize, kCapabilitiesMagic,
                 kCapabilitiesVersion);
    expectHeader(kConsumersSectionName, kConsumersBlockSize, kConsumersMagic, kConsumersVersion);
    // Each field's table row starts "| offset | size | `name` |"; no two fields share all three.
    static const struct {
        size_t offset, size;
        const char* name;
    } kFields[] = {
        {kControlCameraIndexOffset, 4, "cameraIndex"},
        {kControlDemandTickOffset, 8, "demandTick"},
        {kControlConsumerStartTickOffset, 8, "consumerStartTick"},
        {kControlConsumerHeartbeatTickOffset, 8, "consumerHeartbeatTick"},
        {kCapabilitiesCameraIndexOffset, 4, "cameraIndex"},
        {kCapabilitiesCountOffset, 4, "count"},
        {kCapabilitiesEntriesOffset, kMaxCapabilities * kCapabilitiesEntrySize, "entries"},
        {kCapabilitiesSequenceOffset, 4, "sequence"},
        {offsetof(CameraCapability, width), 4, "width"},
        {offsetof(CameraCapability, height), 4, "height"},
        {offsetof(CameraCapability, frameRateNumerator), 4, "frameRateNumerator"},
        {offsetof(CameraCapability, frameRateDenominator), 4, "frameRateDenominator"},
        {kConsumersCountOffset, 4, "count"},
        {kConsumersUpdatedTickOffset, 8, "updatedTick"},
        {kConsumersEntriesOffset, kMaxConsumers * kConsumerSlotSize, "entries"},
        {kConsumersSequenceOffset, 4, "sequence"},
        {kSlotDisplayNameOffset, kSlotDisplayNameUnits * 2, "displayName"},
        {kSlotIdentityOffset, kSlotIdentityBytes, "identity"},
        {kSlotPackagedOffset, 4, "packaged"},
        {kSlotLastUsedStartOffset, 8, "lastUsedStart"},
    };
    for (const auto& f : kFields) {
        const std::string row = "| " + std::to_string(f.offset) + " | " + std::to_string(f.size) +
                                " | `" + f.name + "` |";
        EXPECT_NE(page.find(row), std::string::npos) << row;
    }
}

}  // namespace
}  // namespace orbelune
