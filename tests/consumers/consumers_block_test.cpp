#include "consumers/consumers_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "common/bytes.h"

namespace orbelune {
namespace {

using namespace std::string_literals;

constexpr std::uint64_t kTen = 134408520000000000;  // 2026-12-04 10:00:00 UTC
constexpr std::uint64_t kSecond = 10'000'000;

TEST(ConsumersBlockTest, RefreshRhythmAndReferenceMoment) {
    EXPECT_FALSE(IsRefreshDue(50'999, 50'000));
    EXPECT_TRUE(IsRefreshDue(51'000, 50'000));
    EXPECT_TRUE(IsRefreshDue(1'000, 0));  // the first call after start-up

    EXPECT_EQ(ReferenceTime(90'000, 0, kTen), 0u);
    EXPECT_EQ(ReferenceTime(90'000, 90'001, kTen), 0u);
    EXPECT_EQ(ReferenceTime(90'000, 90'000, kTen), kTen);
    EXPECT_EQ(ReferenceTime(90'000, 88'000, kTen), kTen - 2 * kSecond);
}

TEST(ConsumersBlockTest, NearestToTheReferenceFirst) {
    // Records a, b, c, ... in scan order with these starts, and the order they are sorted into.
    constexpr std::uint64_t t = kTen, s = kSecond;
    static const struct {
        std::uint64_t reference;
        std::vector<std::uint64_t> starts;
        std::u16string_view order;
    } kCases[] = {
        {t, {t - 2 * s, t + 5 * s, t + s}, u"cab"},      // 10:00:01, 09:59:58, 10:00:05
        {0, {t - 2 * s, t + 5 * s, t + s}, u"bca"},      // no reference: the most recent first
        {t, {t - s, t + 9 * s, t + s, t - s}, u"acdb"},  // equal keys keep the scan order
        {0, {t - s, t + 9 * s, t + s, t - s}, u"bcad"},
        {1, {~0ULL, 2, 1}, u"cba"},  // distances do not wrap
    };
    for (const auto& c : kCases) {
        std::vector<ConsumerRecord> records;
        for (const std::uint64_t start : c.starts) {
            records.push_back({u"", std::u16string(1, u'a' + records.size()), false, start});
        }
        SortConsumers(records, c.reference);
        std::u16string order;
        for (const ConsumerRecord& r : records) {
            order += r.identity;
        }
        EXPECT_EQ(order, c.order);
    }
}

// `count` bytes of the block from `offset`, as text.
std::string At(std::span<const std::byte> block, size_t offset, size_t count) {
    return {reinterpret_cast<const char*>(block.subspan(offset, count).data()), count};
}

TEST(ConsumersBlockTest, SlotsThenCountTickAndSequence) {
    // A name of 32 units whose last two are one character, and an identity of 65 units.
    const std::vector<ConsumerRecord> records = {
        {std::u16string(30, u'n') + u"\U0001F600", u"\u0080\u007f" + std::u16string(63, u'i'), true,
         0x0102030405060708},
        {u"Z", u"z.exe", false, 2},
    };
    alignas(8) std::array<std::byte, kConsumersBlockSize> block;
    block.fill(std::byte{0xAA});
    std::memcpy(block.data(), "OCBO\x01\0\0\0", 8);  // as the virtual camera stamps it
    StoreU32(block, 600, 0xFFFFFFFE);
    ASSERT_TRUE(WriteConsumersBlock(block, records, 123456789012));
    EXPECT_EQ(LoadU32(block, 8), 2u);
    EXPECT_EQ(LoadU64(block, 16), 123456789012u);
    EXPECT_EQ(LoadU32(block, 600), 0xFFFFFFFFu);
    EXPECT_EQ(LoadU32(block, 12), 0xAAAAAAAAu);  // reserved words stay the peer's
    EXPECT_EQ(LoadU32(block, 604), 0xAAAAAAAAu);
    // The name cut to 31 units, the pair's high half among them; '?' for every unit beyond
    // ASCII in the identity, cut to 63 bytes; each terminated and zero-filled.
    std::string name;
    for (int i = 0; i < 30; ++i) {
        name += "n";
        name += '\0';
    }
    EXPECT_EQ(At(block, 24, 64), name + "\x3D\xD8" + std::string(2, '\0'));
    EXPECT_EQ(At(block, 24 + 64, 64), "?\x7f" + std::string(61, 'i') + '\0');
    EXPECT_EQ(At(block, 24 + 128, 16), "\x01\0\0\0\0\0\0\0\x08\x07\x06\x05\x04\x03\x02\x01"s);
    EXPECT_EQ(At(block, 24 + 144, 128),
              "Z" + std::string(63, '\0') + "z.exe" + std::string(59, '\0'));
    EXPECT_EQ(LoadU32(block, 24 + 144 + 128), 0u);
    EXPECT_EQ(LoadU64(block, 24 + 144 + 136), 2u);
    EXPECT_EQ(At(block, 24 + 2 * 144, 2 * 144), std::string(2 * 144, '\0'));

    // A shorter list leaves nothing of the longer one; the sequence wraps.
    ASSERT_TRUE(WriteConsumersBlock(block, std::span(records).last(1), 7));
    EXPECT_EQ(LoadU32(block, 8), 1u);
    EXPECT_EQ(At(block, 24, 2), "Z"s + '\0');
    EXPECT_EQ(At(block, 24 + 144, 3 * 144), std::string(3 * 144, '\0'));
    EXPECT_EQ(LoadU32(block, 600), 0u);

    // A block the virtual camera has not stamped as expected is not written at all.
    static const struct {
        char header[9];
        size_t size;
    } kUnstamped[] = {{"OCBO\x02\0\0\0", kConsumersBlockSize},
                      {"OBCO\x01\0\0\0", kConsumersBlockSize},
                      {"OCBO\x01\0\0\0", kConsumersBlockSize - 1}};
    for (const auto& c : kUnstamped) {
        block.fill(std::byte{0});
        std::memcpy(block.data(), c.header, 8);
        EXPECT_FALSE(WriteConsumersBlock(std::span(block).first(c.size), records, 5));
        EXPECT_EQ(At(block, 8, kConsumersBlockSize - 8),
                  std::string(kConsumersBlockSize - 8, '\0'));
    }
}

}  // namespace
}  // namespace orbelune
