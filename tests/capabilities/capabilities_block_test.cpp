#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "capabilities/capabilities.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

struct alignas(8) Block {
    std::array<std::byte, kCapabilitiesBlockSize> bytes;
    std::uint32_t U32(size_t offset) const { return LoadU32(bytes, offset); }
    CameraCapability Entry(size_t n) const {
        const size_t at = kCapabilitiesEntriesOffset + n * kCapabilitiesEntrySize;
        return {U32(at), U32(at + 4), U32(at + 8), U32(at + 12)};
    }
};

TEST(CapabilitiesBlockTest, EachPublicationWholeWithTheSequenceLast) {
    Block block;
    block.bytes.fill(std::byte{0xAB});
    // A longer publication first, then a shorter one over it: no slot of the first may remain.
    std::vector<CameraCapability> list(kMaxCapabilities + 2, CameraCapability{640, 480, 30, 1});
    list[kMaxCapabilities - 1].width = 320;
    WriteCapabilitiesBlock(block.bytes, list, 2);
    EXPECT_EQ(block.U32(kCapabilitiesCountOffset), kMaxCapabilities);
    EXPECT_EQ(block.Entry(kMaxCapabilities - 1), (CameraCapability{320, 480, 30, 1}));
    EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), 0xABABABACu);

    const CameraCapability three[] = {{1280, 720, 30, 1}, {1280, 720, 15, 1}, {320, 240, 60, 2}};
    WriteCapabilitiesBlock(block.bytes, three, 3);
    EXPECT_EQ(std::memcmp(block.bytes.data(), "PVBO", 4), 0);
    EXPECT_EQ(block.U32(kCapabilitiesVersionOffset), 1u);
    EXPECT_EQ(block.U32(kCapabilitiesCameraIndexOffset), 3u);
    EXPECT_EQ(block.U32(kCapabilitiesCountOffset), 3u);
    for (size_t n = 0; n < kMaxCapabilities; ++n) {
        EXPECT_EQ(block.Entry(n), n < 3 ? three[n] : CameraCapability{}) << n;
    }
    EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), 0xABABABADu);

    // Too short to be the block: nothing is written, not even the header.
    block.bytes.fill(std::byte{0xEE});
    WriteCapabilitiesBlock(std::span(block.bytes).first(kCapabilitiesBlockSize - 1), three, 0);
    EXPECT_EQ(block.U32(kCapabilitiesMagicOffset), 0xEEEEEEEEu);
}

TEST(CapabilitiesBlockTest, SequenceWrapsAndTheIndexIsNeverNegative) {
    static const struct {
        std::uint32_t sequenceBefore;
        std::int32_t cameraIndex;
        std::uint32_t sequence, index;
    } kCases[] = {
        {7, 0, 8, 0},
        {0xFFFFFFFF, 1, 0, 1},
        {0, -1, 1, 0},
        {100, -2147483647 - 1, 101, 0},
        {0x7FFFFFFF, 2147483647, 0x80000000, 0x7FFFFFFF},
    };
    for (const auto& c : kCases) {
        Block block = {};
        StoreU32(block.bytes, kCapabilitiesSequenceOffset, c.sequenceBefore);
        WriteCapabilitiesBlock(block.bytes, std::span(&kFallbackCapability, 1), c.cameraIndex);
        EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), c.sequence) << c.sequenceBefore;
        EXPECT_EQ(block.U32(kCapabilitiesCameraIndexOffset), c.index) << c.cameraIndex;
        EXPECT_EQ(block.Entry(0), (CameraCapability{1280, 720, 30, 1}));
    }
}

}  // namespace
}  // namespace orbelune
