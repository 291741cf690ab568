#include "consumers/consumers_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/bytes.h"
#include "tools/describe_consumers.h"

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

TEST(ConsumersBlockTest, Describe) {
    Block block;
    const std::vector<ConsumerRecord> records = {
        {u"Zoom", u"zoom.exe", false, kTen},
        {u"\u00c9cran \"A\\B\" \U0001F600", u"V.\u00c9cran_x", true, 133537247999990000},
        {u"x", u"x", false, 1},
        {u"y", u"y", false, 0x7FFFFFFFFFFFFFFF},
    };
    StoreU32(block.bytes, kConsumersSequenceOffset, 41);
    ASSERT_TRUE(WriteConsumersBlock(block.bytes, records, 987654321));
    EXPECT_EQ(DescribeConsumersBlock(block.bytes),
              "magic 0x4F42434F valid, version 1 valid\n"
              "count 4, updatedTick 987654321, sequence 42\n"
              "  [0] \"Zoom\" identity \"zoom.exe\" desktop, started 2026-12-04 10:00:00.000 UTC\n"
              "  [1] \"\xC3\x89"
              "cran \\\"A\\\\B\\\" \xF0\x9F\x98\x80\" identity \"V.?cran_x\" packaged, "
              "started 2024-02-29 23:59:59.999 UTC\n"
              "  [2] \"x\" identity \"x\" desktop, started 1601-01-01 00:00:00.000 UTC\n"
              "  [3] \"y\" identity \"y\" desktop, started 30828-09-14 02:48:05.477 UTC\n");

    // What the agent never writes: a foreign header, a name without terminator (units 0x4141),
    // odd identity bytes over "zoom.exe", a stray packaged flag, a count that leaves filled slots
    // behind it.
    StoreU32(block.bytes, kConsumersMagicOffset, 0x12345678);
    StoreU32(block.bytes, kConsumersCountOffset, 1);
    std::fill_n(block.bytes.begin() + kConsumersEntriesOffset, 64, std::byte{'A'});
    StoreU32(block.bytes, kConsumersEntriesOffset + kSlotIdentityOffset, 0x0A80FF41);
    StoreU32(block.bytes, kConsumersEntriesOffset + kSlotPackagedOffset, 7);
    std::string cjk;
    for (int i = 0; i < 32; ++i) {
        cjk += "\xE4\x85\x81";
    }
    EXPECT_EQ(DescribeConsumersBlock(block.bytes),
              "magic 0x12345678 invalid (expected 0x4F42434F), version 1 valid\n"
              "count 1, updatedTick 987654321, sequence 42\n"
              "  [0] \"" +
                  cjk +
                  "\" (unterminated) identity \"A\\xFF\\x80\\x0A.exe\" packaged=7, "
                  "started 2026-12-04 10:00:00.000 UTC\n"
                  "  [1] beyond the count but not zeroed\n"
                  "  [2] beyond the count but not zeroed\n"
                  "  [3] beyond the count but not zeroed\n");
    EXPECT_EQ(DescribeConsumersBlock(std::span(block.bytes).first(607)),
              "consumers block too small: 607 of 608 bytes\n");
}

}  // namespace
}  // namespace orbelune
