#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "capabilities/capabilities.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

// The block as the section maps it: page-aligned there, 4-byte aligned is what the writer needs.
struct Block {
    alignas(8) std::array<std::byte, kCapabilitiesBlockSize> bytes;

    explicit Block(std::byte fill) { bytes.fill(fill); }
    std::uint32_t U32(size_t offset) const { return LoadU32(bytes, offset); }
    CameraCapability Entry(size_t n) const {
        const size_t at = kCapabilitiesEntriesOffset + n * kCapabilitiesEntrySize;
        return {U32(at), U32(at + 4), U32(at + 8), U32(at + 12)};
    }
};

TEST(CapabilitiesBlockTest, WritesHeaderEntriesAndZeroedTail) {
    Block block(std::byte{0xAB});
    StoreU32(block.bytes, kCapabilitiesSequenceOffset, 41);

    // A longer publication first, then a shorter one over it: no slot of the first may remain.
    const std::vector<CameraCapability> longer(5, CameraCapability{640, 480, 30, 1});
    const CameraCapability three[] = {{1280, 720, 30, 1}, {1280, 720, 15, 1}, {320, 240, 60, 2}};
    WriteCapabilitiesBlock(block.bytes, longer, 2);
    WriteCapabilitiesBlock(block.bytes, three, 3);

    EXPECT_EQ(std::memcmp(block.bytes.data(), "PVBO", 4), 0);
    EXPECT_EQ(block.U32(kCapabilitiesVersionOffset), 1u);
    EXPECT_EQ(block.U32(kCapabilitiesCameraIndexOffset), 3u);
    EXPECT_EQ(block.U32(kCapabilitiesCountOffset), 3u);
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(block.Entry(n), three[n]) << n;
    }
    for (size_t n = 3; n < kMaxCapabilities; ++n) {
        EXPECT_EQ(block.Entry(n), CameraCapability{}) << n;
    }
    EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), 43u);
}

TEST(CapabilitiesBlockTest, SequenceAndCameraIndex) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    static const struct {
        std::uint32_t sequenceBefore;
        std::int32_t cameraIndex;
        std::uint32_t wantSequence;
        std::uint32_t wantIndex;
    } kCases[] = {
        {7, 0, 8, 0},
        {0xFFFFFFFFu, 1, 0, 1},
        {0, -1, 1, 0},
        {100, kMin, 101, 0},
        {0x7FFFFFFFu, kMax, 0x80000000u, 0x7FFFFFFFu},
    };
    const CameraCapability one[] = {kFallbackCapability};
    for (const auto& c : kCases) {
        Block block(std::byte{0});
        StoreU32(block.bytes, kCapabilitiesSequenceOffset, c.sequenceBefore);
        WriteCapabilitiesBlock(block.bytes, one, c.cameraIndex);
        EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), c.wantSequence) << c.sequenceBefore;
        EXPECT_EQ(block.U32(kCapabilitiesCameraIndexOffset), c.wantIndex) << c.cameraIndex;
        EXPECT_EQ(block.Entry(0), (CameraCapability{1280, 720, 30, 1}));
    }
}

TEST(CapabilitiesBlockTest, FillsEverySlotAndNoMore) {
    Block block(std::byte{0xCD});
    std::vector<CameraCapability> list;
    for (std::uint32_t i = 0; i < 130; ++i) {
        list.push_back({2 * i + 2, 2, 30, 1});
    }
    WriteCapabilitiesBlock(block.bytes, list, 0);
    EXPECT_EQ(block.U32(kCapabilitiesCountOffset), kMaxCapabilities);
    EXPECT_EQ(block.Entry(kMaxCapabilities - 1), list[kMaxCapabilities - 1]);
    EXPECT_EQ(block.U32(kCapabilitiesSequenceOffset), 0xCDCDCDCDu + 1);

    // Too short to be the block: nothing is written, not even the header.
    Block shortBlock(std::byte{0xEE});
    WriteCapabilitiesBlock(std::span(shortBlock.bytes).first(kCapabilitiesBlockSize - 1), list, 0);
    EXPECT_EQ(shortBlock.U32(kCapabilitiesMagicOffset), 0xEEEEEEEEu);
}

}  // namespace
}  // namespace orbelune
