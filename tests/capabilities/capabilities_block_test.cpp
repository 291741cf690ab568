#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "capabilities/capabilities.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

TEST(CapabilitiesBlockTest, HeaderAndEntriesThenTheSequence) {
    alignas(8) std::array<std::byte, kCapabilitiesBlockSize> block;
    block.fill(std::byte{0xAB});
    // A full publication, then a shorter one over it: no entry of the first may remain.
    std::vector<CameraCapability> list(130, CameraCapability{640, 480, 30, 1});
    list[127].width = 320;
    WriteCapabilitiesBlock(block, list, 2);
    EXPECT_EQ(LoadU32(block, 12), 128u);
    EXPECT_EQ(LoadU32(block, 16 + 127 * 16), 320u);
    EXPECT_EQ(LoadU32(block, 2064), 0xABABABACu);

    const CameraCapability three[] = {{1280, 720, 30, 1}, {1280, 720, 15, 1}, {320, 240, 60, 2}};
    WriteCapabilitiesBlock(block, three, 3);
    EXPECT_EQ(std::memcmp(block.data(), "PVBO\1\0\0\0\3\0\0\0\3\0\0\0", 16), 0);
    EXPECT_EQ(std::memcmp(block.data() + 16, three, sizeof three), 0);
    EXPECT_TRUE(std::all_of(block.begin() + 16 + sizeof three, block.begin() + 2064,
                            [](std::byte b) { return b == std::byte{0}; }));
    EXPECT_EQ(LoadU32(block, 2064), 0xABABABADu);

    // Too short to be the block: nothing is written, not even the header.
    block.fill(std::byte{0xEE});
    WriteCapabilitiesBlock(std::span(block).first(kCapabilitiesBlockSize - 1), three, 0);
    EXPECT_EQ(LoadU32(block, 0), 0xEEEEEEEEu);
}

TEST(CapabilitiesBlockTest, SequenceWrapsAndTheIndexIsNeverNegative) {
    static const struct {
        std::uint32_t sequenceBefore;
        std::int32_t cameraIndex;
        std::uint32_t sequence, index;
    } kCases[] = {{7, 0, 8, 0},
                  {0xFFFFFFFF, 1, 0, 1},
                  {0, -1, 1, 0},
                  {100, -2147483647 - 1, 101, 0},
                  {0x7FFFFFFF, 2147483647, 0x80000000, 0x7FFFFFFF}};
    for (const auto& c : kCases) {
        alignas(8) std::array<std::byte, kCapabilitiesBlockSize> block = {};
        StoreU32(block, 2064, c.sequenceBefore);
        WriteCapabilitiesBlock(block, std::span(&kFallbackCapability, 1), c.cameraIndex);
        EXPECT_EQ(LoadU32(block, 2064), c.sequence) << c.sequenceBefore;
        EXPECT_EQ(LoadU32(block, 8), c.index) << c.cameraIndex;
        EXPECT_EQ(
            std::memcmp(block.data() + 12, "\1\0\0\0\0\5\0\0\xD0\2\0\0\x1E\0\0\0\1\0\0\0", 20), 0);
    }
}

}  // namespace
}  // namespace orbelune
