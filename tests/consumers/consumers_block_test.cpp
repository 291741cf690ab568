#include "consumers/consumers_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "common/bytes.h"

namespace orbelune {
namespace {

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
    static const struct {
        std::uint64_t reference;
        std::vector<std::uint64_t> starts, ordered;
    } kCases[] = {
        // Nearest to 10:00:00 first, before or after it: 10:00:01, 09:59:58, 10:00:05.
        {kTen,
         {kTen - 2 * kSecond, kTen + 5 * kSecond, kTen + kSecond},
         {kTen + kSecond, kTen - 2 * kSecond, kTen + 5 * kSecond}},
        {1, {~0ULL, 2, 1}, {1, 2, ~0ULL}},  // distances do not wrap
        // No reference moment: the most recent start first.
        {0,
         {kTen - 2 * kSecond, kTen + 5 * kSecond, kTen + kSecond},
         {kTen + 5 * kSecond, kTen + kSecond, kTen - 2 * kSecond}},
    };
    for (const auto& c : kCases) {
        std::vector<ConsumerRecord> records;
        for (const std::uint64_t start : c.starts) {
            records.push_back({u"", u"", false, start});
        }
        SortConsumers(records, c.reference);
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].lastUsedStart, c.ordered[i]) << c.reference << " at " << i;
        }
    }
    // Equal keys stay in scan order, with or without a reference moment.
    for (const std::uint64_t reference : {std::uint64_t{0}, kTen}) {
        std::vector<ConsumerRecord> records = {{u"", u"a", false, kTen - kSecond},
                                               {u"", u"b", false, kTen + 9 * kSecond},
                                               {u"", u"c", true, kTen + kSecond},
                                               {u"", u"d", false, kTen - kSecond}};
        SortConsumers(records, reference);
        std::u16string order;
        for (const ConsumerRecord& r : records) {
            order += r.identity;
        }
        EXPECT_EQ(order, reference == 0 ? u"bcad" : u"acdb");
    }
}

// `count` bytes of the block from `offset`, as text; UTF-16 text as its little-endian bytes.
std::string At(std::span<const std::byte> block, size_t offset, size_t count) {
    return {reinterpret_cast<const char*>(block.subspan(offset, count).data()), count};
}
std::string Utf16(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    return bytes;
}

TEST(ConsumersBlockTest, SlotsThenCountTickAndSequence) {
    const std::u16string n30(30, u'n');
    const std::vector<ConsumerRecord> records = {
        {u"Zoom", u"zoom.exe", false, 0x0102030405060708},
        {n30 + u"nnnnnnnnnn", u"\u0080\u007fcran\U0001F600.exe", true, 2},
        {n30 + u"\U0001F600", std::u16string(64, u'i'), true, 3},  // the pair cut in half
        {u"", std::u16string(62, u'i') + u"\u00e9\u00e9", false, 4},
        {u"Fifth", u"fifth.exe", false, 5},
    };
    const struct {
        std::u16string name;
        std::string identity;
    } kSlots[] = {{u"Zoom", "zoom.exe"},
                  {n30 + u"n",
                   "?\x7f"
                   "cran??.exe"},
                  {n30 + u"\xD83D", std::string(63, 'i')},
                  {u"", std::string(62, 'i') + "?"}};

    alignas(8) std::array<std::byte, kConsumersBlockSize> block;
    block.fill(std::byte{0xAA});
    std::memcpy(block.data(), "OCBO\x01\0\0\0", 8);  // as the virtual camera stamps it
    StoreU32(block, 600, 0xFFFFFFFE);
    ASSERT_TRUE(WriteConsumersBlock(block, records, 123456789012));
    EXPECT_EQ(LoadU32(block, 8), 4u);
    EXPECT_EQ(LoadU64(block, 16), 123456789012u);
    EXPECT_EQ(LoadU32(block, 600), 0xFFFFFFFFu);
    EXPECT_EQ(LoadU32(block, 12), 0xAAAAAAAAu);  // reserved words stay the peer's
    EXPECT_EQ(LoadU32(block, 604), 0xAAAAAAAAu);
    for (size_t i = 0; i < 4; ++i) {
        const size_t slot = 24 + 144 * i;
        EXPECT_EQ(At(block, slot, 64),
                  Utf16(kSlots[i].name) + std::string(64, '\0').substr(2 * kSlots[i].name.size()))
            << i;
        EXPECT_EQ(At(block, slot + 64, 64),
                  kSlots[i].identity + std::string(64 - kSlots[i].identity.size(), '\0'))
            << i;
        EXPECT_EQ(LoadU32(block, slot + 128), records[i].packaged ? 1u : 0u);
        EXPECT_EQ(LoadU32(block, slot + 132), 0u);
        EXPECT_EQ(LoadU64(block, slot + 136), records[i].lastUsedStart);
    }

    // A shorter list leaves nothing of the longer one; the sequence wraps.
    ASSERT_TRUE(WriteConsumersBlock(block, std::span(records).last(1), 7));
    EXPECT_EQ(LoadU32(block, 8), 1u);
    EXPECT_EQ(At(block, 24, 10), Utf16(u"Fifth"));
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
