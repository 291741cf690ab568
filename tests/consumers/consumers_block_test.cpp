#include "consumers/consumers_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/bytes.h"

namespace orbelune {
namespace {

constexpr std::uint64_t kTen = 134408520000000000;  // 2026-12-04 10:00:00 UTC
constexpr std::uint64_t kSecond = 10'000'000;

struct alignas(8) Block {
    std::array<std::byte, kConsumersBlockSize> bytes = {};
    explicit Block(std::uint32_t magic = kConsumersMagic, std::uint32_t version = 1) {
        StoreU32(bytes, kConsumersMagicOffset, magic);
        StoreU32(bytes, kConsumersVersionOffset, version);
    }
    std::span<const std::byte> Slot(size_t i) const {
        return std::span(bytes).subspan(kConsumersEntriesOffset + i * kConsumerSlotSize,
                                        kConsumerSlotSize);
    }
};

bool AllZero(std::span<const std::byte> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{}; });
}

TEST(ConsumersBlockTest, RefreshRhythmAndReferenceMoment) {
    EXPECT_FALSE(IsRefreshDue(50'999, 50'000));
    EXPECT_TRUE(IsRefreshDue(51'000, 50'000));
    EXPECT_TRUE(IsRefreshDue(1'000, 0));  // the first call after start-up
    EXPECT_TRUE(IsRefreshDue(40'000, 50'000));

    EXPECT_EQ(ReferenceTime(90'000, 0, kTen), 0u);
    EXPECT_EQ(ReferenceTime(90'000, 90'001, kTen), 0u);
    EXPECT_EQ(ReferenceTime(90'000, 90'000, kTen), kTen);
    EXPECT_EQ(ReferenceTime(90'000, 88'000, kTen), kTen - 2 * kSecond);
}

TEST(ConsumersBlockTest, SortConsumers) {
    static const struct {
        std::uint64_t reference;
        std::vector<std::uint64_t> starts, ordered;
    } kCases[] = {
        // Nearest to 10:00:00 first, before or after it: 10:00:01, 09:59:58, 10:00:05.
        {kTen,
         {kTen - 2 * kSecond, kTen + 5 * kSecond, kTen + kSecond},
         {kTen + kSecond, kTen - 2 * kSecond, kTen + 5 * kSecond}},
        // Equal distances keep the scan order; distances do not wrap at the ends of the range.
        {kTen, {kTen + kSecond, kTen - kSecond, kTen}, {kTen, kTen + kSecond, kTen - kSecond}},
        {1, {~0ULL, 2, 1}, {1, 2, ~0ULL}},
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
        std::vector<std::uint64_t> starts;
        for (const ConsumerRecord& r : records) {
            starts.push_back(r.lastUsedStart);
        }
        EXPECT_EQ(starts, c.ordered) << c.reference;
    }
    // Equal keys stay in scan order, with or without a reference moment.
    for (const std::uint64_t reference : {std::uint64_t{0}, kTen}) {
        std::vector<ConsumerRecord> records = {{u"", u"a", false, kTen - kSecond},
                                               {u"", u"b", false, kTen + 9 * kSecond},
                                               {u"", u"c", true, kTen - kSecond},
                                               {u"", u"d", false, kTen - kSecond}};
        SortConsumers(records, reference);
        std::u16string order;
        for (const ConsumerRecord& r : records) {
            order += r.identity;
        }
        EXPECT_EQ(order, reference == 0 ? u"bacd" : u"acdb");
    }
}

TEST(ConsumersBlockTest, SlotImage) {
    const std::u16string digits = u"0123456789012345678901234567890123456789";
    const struct {
        ConsumerRecord record;
        std::u16string name;
        std::string identity;
    } kCases[] = {
        {{u"Zoom", u"zoom.exe", false, kTen}, u"Zoom", "zoom.exe"},
        {{digits, u"x", false, 1}, digits.substr(0, 31), "x"},
        // Cut by units: a pair straddling the cut leaves its high half.
        {{digits.substr(0, 30) + u"\U0001F600", u"x", true, 1},
         digits.substr(0, 30) + u"\xD83D",
         "x"},
        {{u"\u00c9cran", u"\u00e9cran\U0001F600.exe", true, 1}, u"\u00c9cran", "?cran??.exe"},
        {{u"", std::u16string(64, u'i'), true, 1}, u"", std::string(63, 'i')},
        {{u"", std::u16string(62, u'i') + u"\u00e9\u00e9", true, 1},
         u"",
         std::string(62, 'i') + "?"},
    };
    for (const auto& c : kCases) {
        const auto image = ConsumerSlotImage(c.record);
        const std::span<const std::byte> slot(image);
        std::vector<std::byte> name(kSlotDisplayNameUnits * 2);
        for (size_t i = 0; i < c.name.size(); ++i) {
            name[2 * i] = std::byte(c.name[i] & 0xFF);
            name[2 * i + 1] = std::byte(c.name[i] >> 8);
        }
        std::vector<std::byte> identity(kSlotIdentityBytes);
        std::transform(c.identity.begin(), c.identity.end(), identity.begin(),
                       [](char b) { return std::byte(b); });
        EXPECT_TRUE(std::ranges::equal(slot.subspan(kSlotDisplayNameOffset, name.size()), name));
        EXPECT_TRUE(
            std::ranges::equal(slot.subspan(kSlotIdentityOffset, identity.size()), identity));
        EXPECT_EQ(LoadU32(slot, kSlotPackagedOffset), c.record.packaged ? 1u : 0u);
        EXPECT_EQ(LoadU32(slot, kSlotPackagedOffset + 4), 0u);
        EXPECT_EQ(LoadU64(slot, kSlotLastUsedStartOffset), c.record.lastUsedStart);
    }
    EXPECT_EQ(NarrowToAscii(std::u16string_view(u"a\0\u007f\u0080\xDFFF", 5)),
              std::string_view("a\0\x7f??", 5));
}

TEST(ConsumersBlockTest, WriteConsumersBlock) {
    std::vector<ConsumerRecord> six;
    for (char16_t letter = u'a'; letter < u'g'; ++letter) {
        six.push_back({std::u16string(1, letter), u"x", letter % 2 == 0, kTen + letter});
    }
    Block block;
    // Garbage everywhere the agent writes or must leave alone.
    std::fill(block.bytes.begin() + 8, block.bytes.end(), std::byte{0xAA});
    StoreU32(block.bytes, kConsumersSequenceOffset, 0xFFFFFFFE);

    ASSERT_TRUE(WriteConsumersBlock(block.bytes, six, 123456789012));
    EXPECT_EQ(LoadU32(block.bytes, kConsumersCountOffset), 4u);
    EXPECT_EQ(LoadU64(block.bytes, kConsumersUpdatedTickOffset), 123456789012u);
    EXPECT_EQ(LoadU32(block.bytes, kConsumersSequenceOffset), 0xFFFFFFFFu);
    EXPECT_EQ(LoadU32(block.bytes, 12), 0xAAAAAAAAu);
    EXPECT_EQ(LoadU32(block.bytes, 604), 0xAAAAAAAAu);
    for (size_t i = 0; i < kMaxConsumers; ++i) {
        EXPECT_TRUE(std::ranges::equal(ConsumerSlotImage(six[i]), block.Slot(i))) << i;
    }
    // A shorter list leaves nothing of the longer one; the sequence wraps.
    ASSERT_TRUE(WriteConsumersBlock(block.bytes, std::span(six).last(1), 7));
    EXPECT_EQ(LoadU32(block.bytes, kConsumersCountOffset), 1u);
    EXPECT_TRUE(std::ranges::equal(ConsumerSlotImage(six[5]), block.Slot(0)));
    EXPECT_TRUE(
        AllZero(std::span(block.bytes)
                    .subspan(kConsumersEntriesOffset + kConsumerSlotSize, 3 * kConsumerSlotSize)));
    EXPECT_EQ(LoadU32(block.bytes, kConsumersSequenceOffset), 0u);

    static const struct {
        std::uint32_t magic, version;
        size_t size;
    } kUnstamped[] = {
        {0x4F43424F, 1, kConsumersBlockSize},  // the magic's bytes in the other order
        {kConsumersMagic, 2, kConsumersBlockSize},
        {kConsumersMagic, 1, kConsumersBlockSize - 1},
    };
    for (const auto& c : kUnstamped) {
        Block unstamped(c.magic, c.version);
        EXPECT_FALSE(WriteConsumersBlock(std::span(unstamped.bytes).first(c.size), six, 5));
        EXPECT_TRUE(AllZero(std::span(unstamped.bytes).subspan(8)));
    }
}

}  // namespace
}  // namespace orbelune
