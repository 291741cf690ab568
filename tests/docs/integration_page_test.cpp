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

struct Field {
    size_t offset, size;
    const char* name;
};

// The block's heading line and its table rows ("| offset | size | `name` |") in the page.
void ExpectBlock(const std::string& page, const char* heading, const wchar_t* name, size_t size,
                 std::uint32_t magic, std::uint32_t version, std::initializer_list<Field> fields) {
    const size_t begin = page.find(heading);
    ASSERT_NE(begin, std::string::npos) << heading;
    const std::string section = page.substr(begin, page.find("\n### ", begin + 1) - begin);
    char header[128] = {};
    std::snprintf(header, sizeof header, "Section `%ls`, **%zu bytes**, magic 0x%08X, version %u",
                  name, size, static_cast<unsigned>(magic), static_cast<unsigned>(version));
    EXPECT_NE(section.find(header), std::string::npos) << header;
    for (const Field& f : fields) {
        const std::string row = "| " + std::to_string(f.offset) + " | " + std::to_string(f.size) +
                                " | `" + f.name + "` |";
        EXPECT_NE(section.find(row), std::string::npos) << heading << ": " << row;
    }
}

TEST(IntegrationPageTest, BlockLayoutsMatchTheCode) {
    // Under Wine, the sources' Unix path is reached through the Z: drive.
    std::ifstream file(ORBELUNE_SOURCE_DIR "/docs/INTEGRATION.md");
    const std::string page{std::istreambuf_iterator<char>(file), {}};
    ExpectBlock(page, "### Control block", kControlBlockName, kControlBlockSize, kControlMagic,
                kControlVersion,
                {{kControlCameraIndexOffset, 4, "cameraIndex"},
                 {kControlDemandTickOffset, 8, "demandTick"},
                 {kControlConsumerStartTickOffset, 8, "consumerStartTick"},
                 {kControlConsumerHeartbeatTickOffset, 8, "consumerHeartbeatTick"}});
    ExpectBlock(page, "### Capabilities block", kCapabilitiesSectionName, kCapabilitiesBlockSize,
                kCapabilitiesMagic, kCapabilitiesVersion,
                {{kCapabilitiesCameraIndexOffset, 4, "cameraIndex"},
                 {kCapabilitiesCountOffset, 4, "count"},
                 {kCapabilitiesEntriesOffset, kMaxCapabilities * kCapabilitiesEntrySize, "entries"},
                 {kCapabilitiesSequenceOffset, 4, "sequence"},
                 {offsetof(CameraCapability, width), 4, "width"},
                 {offsetof(CameraCapability, height), 4, "height"},
                 {offsetof(CameraCapability, frameRateNumerator), 4, "frameRateNumerator"},
                 {offsetof(CameraCapability, frameRateDenominator), 4, "frameRateDenominator"}});
    ExpectBlock(page, "### Consumers block", kConsumersSectionName, kConsumersBlockSize,
                kConsumersMagic, kConsumersVersion,
                {{kConsumersCountOffset, 4, "count"},
                 {kConsumersUpdatedTickOffset, 8, "updatedTick"},
                 {kConsumersEntriesOffset, kMaxConsumers * kConsumerSlotSize, "entries"},
                 {kConsumersSequenceOffset, 4, "sequence"},
                 {kSlotDisplayNameOffset, kSlotDisplayNameUnits * 2, "displayName"},
                 {kSlotIdentityOffset, kSlotIdentityBytes, "identity"},
                 {kSlotPackagedOffset, 4, "packaged"},
                 {kSlotLastUsedStartOffset, 8, "lastUsedStart"}});
}

}  // namespace
}  // namespace orbelune
