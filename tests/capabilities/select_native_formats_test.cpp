#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "capabilities/capabilities.h"

namespace orbelune {
namespace {

constexpr std::uint64_t Pack(std::uint32_t high, std::uint32_t low) {
    return std::uint64_t{high} << 32 | low;
}

// A native type with a nominal rate and no range.
NativeTypeReading Type(std::uint32_t width, std::uint32_t height, std::uint32_t num,
                       std::uint32_t den) {
    NativeTypeReading reading;
    reading.frameSize = Pack(width, height);
    reading.frameRate = Pack(num, den);
    return reading;
}

// A type of width x 720 with whichever rate attributes are given (0 = not read).
NativeTypeReading Ranged(std::uint32_t width, std::uint64_t nominal, std::uint64_t rangeMax,
                         std::uint64_t rangeMin) {
    NativeTypeReading reading;
    reading.frameSize = Pack(width, 720);
    if (nominal != 0) {
        reading.frameRate = nominal;
    }
    if (rangeMax != 0) {
        reading.frameRateRangeMax = rangeMax;
    }
    if (rangeMin != 0) {
        reading.frameRateRangeMin = rangeMin;
    }
    return reading;
}

std::string Describe(const std::vector<CameraCapability>& list) {
    std::string text;
    for (const CameraCapability& c : list) {
        text += std::to_string(c.width) + "x" + std::to_string(c.height) + "@" +
                std::to_string(c.frameRateNumerator) + "/" +
                std::to_string(c.frameRateDenominator) + " ";
    }
    return text;
}

// Pixel count and rate, as the list is ordered by; formats equal in both have no fixed order.
bool RanksBefore(const CameraCapability& a, const CameraCapability& b) {
    const std::uint64_t pixelsA = std::uint64_t{a.width} * a.height;
    const std::uint64_t pixelsB = std::uint64_t{b.width} * b.height;
    if (pixelsA != pixelsB) {
        return pixelsA > pixelsB;
    }
    return std::uint64_t{a.frameRateNumerator} * b.frameRateDenominator >
           std::uint64_t{b.frameRateNumerator} * a.frameRateDenominator;
}

// `actual` holds exactly the formats of `expected` in an order that differs from it at most
// among formats that rank equal.
void ExpectSameUpToTies(const std::vector<CameraCapability>& actual,
                        const std::vector<CameraCapability>& expected, const std::string& label) {
    ASSERT_EQ(actual.size(), expected.size()) << label << ": " << Describe(actual);
    for (size_t i = 0; i < actual.size(); ++i) {
        const bool tied =
            !RanksBefore(actual[i], expected[i]) && !RanksBefore(expected[i], actual[i]);
        EXPECT_TRUE(tied) << label << ": " << Describe(actual) << "at " << i;
    }
    EXPECT_TRUE(std::is_permutation(actual.begin(), actual.end(), expected.begin()))
        << label << ": " << Describe(actual);
}

TEST(SelectNativeFormatsTest, ChoosesFoldsAndOrders) {
    static const struct {
        const char* label;
        std::vector<NativeTypeReading> readings;
        std::vector<CameraCapability> want;
    } kCases[] = {
        {"worked example: fold appended, pixel-format duplicate dropped",
         {Type(1920, 1080, 30, 1), Type(1280, 720, 15, 1), Type(1280, 720, 15, 1),
          Type(640, 480, 30, 1)},
         {{1280, 720, 30, 1}, {1280, 720, 15, 1}, {640, 480, 30, 1}}},
        {"odd sides are passed over, oversize ones too",
         {Type(1279, 720, 30, 1), Type(1280, 719, 30, 1), Type(1921, 1080, 30, 1)},
         {}},
        {"missing frame size", {NativeTypeReading{Pack(30, 1), {}, {}, {}}}, {}},
        {"range maximum above 30 passes the type over whatever the nominal rate",
         {Ranged(1280, Pack(30, 1), Pack(60, 1), Pack(15, 1)),
          Ranged(1280, Pack(30, 1), Pack(30001, 1000), Pack(15, 1))},
         {}},
        {"range within 30 and no nominal rate: the minimum",
         {Ranged(1280, 0, Pack(30, 1), Pack(15, 1))},
         {{1280, 720, 15, 1}}},
        {"nominal rate above 30 with a range within it: the minimum",
         {Ranged(1280, Pack(60, 1), Pack(30, 1), Pack(5, 1))},
         {{1280, 720, 5, 1}}},
        {"nominal rate inside a complete range wins",
         {Ranged(1280, Pack(30000, 1001), Pack(30, 1), Pack(5, 1))},
         {{1280, 720, 30000, 1001}}},
        {"range minimum above 30: 30/1 unless the nominal rate is usable",
         {Ranged(1280, 0, Pack(30, 1), Pack(61, 2)),
          Ranged(1200, Pack(60, 1), Pack(30, 1), Pack(31, 1)),
          Ranged(1100, Pack(0, 1), Pack(30, 1), Pack(31, 1))},
         {{1280, 720, 30, 1}, {1200, 720, 30, 1}, {1100, 720, 30, 1}}},
        {"nominal rate of 0/1, 30/0 or above 30 without a range",
         {Type(1280, 720, 0, 1), Type(1280, 720, 30, 0), Type(1280, 720, 60, 1),
          Type(1280, 720, 30001, 1000), Ranged(1280, 0, 0, 0)},
         {}},
        {"an incomplete range is ignored, its maximum too",
         {Ranged(1280, Pack(25, 1), Pack(60, 1), 0),
          Ranged(1280, Pack(24, 1), Pack(60, 1), Pack(0, 1)),
          Ranged(1280, Pack(20, 1), Pack(60, 0), Pack(15, 1)),
          Ranged(1280, 0, Pack(30, 1), Pack(15, 0))},
         {{1280, 720, 25, 1}, {1280, 720, 24, 1}, {1280, 720, 20, 1}}},
        {"landscape oversize", {Type(1920, 1080, 30, 1)}, {{1280, 720, 30, 1}}},
        {"portrait oversize", {Type(1080, 1920, 30, 1)}, {{720, 1280, 30, 1}}},
        {"squares fold to landscape", {Type(1440, 1440, 30, 1)}, {{1280, 720, 30, 1}}},
        {"one side too long is enough to fold",
         {Type(1280, 800, 24, 1), Type(600, 1300, 20, 1), Type(800, 800, 15, 1)},
         {{1280, 720, 24, 1}, {720, 1280, 20, 1}}},
        {"1280x720 and 720x1280 fit as they are",
         {Type(1280, 720, 25, 1), Type(720, 1280, 30, 1)},
         {{720, 1280, 30, 1}, {1280, 720, 25, 1}}},
        {"a native 1280x720 at the candidate's rate covers it",
         {Type(1280, 720, 30, 1), Type(1920, 1080, 30, 1)},
         {{1280, 720, 30, 1}}},
        {"covered by an equal rate written differently",
         {Type(1920, 1080, 30, 1), Type(1280, 720, 60, 2)},
         {{1280, 720, 60, 2}}},
        {"a lower native rate does not cover it",
         {Type(1280, 720, 30000, 1001), Type(1920, 1080, 30, 1)},
         {{1280, 720, 30, 1}, {1280, 720, 30000, 1001}}},
        {"only the same orientation covers",
         {Type(720, 1280, 30, 1), Type(1920, 1080, 30, 1)},
         {{720, 1280, 30, 1}, {1280, 720, 30, 1}}},
        {"candidate takes the highest rate, first order",
         {Type(1920, 1080, 25, 1), Type(2560, 1440, 30, 1)},
         {{1280, 720, 30, 1}}},
        {"candidate takes the highest rate, second order",
         {Type(2560, 1440, 30, 1), Type(1920, 1080, 25, 1)},
         {{1280, 720, 30, 1}}},
        {"candidate keeps the earlier of equal rates (30/1 first)",
         {Type(1920, 1080, 30, 1), Type(2560, 1440, 60, 2)},
         {{1280, 720, 30, 1}}},
        {"candidate keeps the earlier of equal rates (60/2 first)",
         {Type(1920, 1080, 60, 2), Type(2560, 1440, 30, 1)},
         {{1280, 720, 60, 2}}},
        {"30/1 and 60/2 at one size are two formats",
         {Type(640, 480, 30, 1), Type(640, 480, 60, 2), Type(640, 480, 30, 1)},
         {{640, 480, 30, 1}, {640, 480, 60, 2}}},
        {"greater pixel count first, then higher rate",
         {Type(320, 240, 30, 1), Type(640, 480, 15, 1), Type(640, 360, 30, 1),
          Type(640, 480, 30000, 1001), Type(640, 480, 24, 1), Type(960, 540, 5, 1)},
         {{960, 540, 5, 1},
          {640, 480, 30000, 1001},
          {640, 480, 24, 1},
          {640, 480, 15, 1},
          {640, 360, 30, 1},
          {320, 240, 30, 1}}},
        {"rates near the limit of 32-bit terms compare exactly",
         {Type(640, 480, 0xFFFFFFFEu, 0xFFFFFFFFu), Type(640, 480, 0xFFFFFFFDu, 0xFFFFFFFEu)},
         {{640, 480, 0xFFFFFFFEu, 0xFFFFFFFFu}, {640, 480, 0xFFFFFFFDu, 0xFFFFFFFEu}}},
    };
    for (const auto& c : kCases) {
        ExpectSameUpToTies(SelectNativeFormats(c.readings), c.want, c.label);
    }
}

TEST(SelectNativeFormatsTest, KeepsTheLargestWhenMoreThanTheSlots) {
    // 100 sizes at two rates each, in a scrambled order: 200 distinct fitting types.
    std::vector<NativeTypeReading> readings;
    for (std::uint32_t i = 0; i < 200; ++i) {
        const std::uint32_t k = (i * 77) % 200;  // 77 is prime to 200: every k once
        const std::uint32_t width = 2 * (k / 2 + 1);
        readings.push_back(Type(width, 2, k % 2 == 0 ? 30 : 15, 1));
    }
    const std::vector<CameraCapability> list = SelectNativeFormats(readings);
    ASSERT_EQ(list.size(), kMaxCapabilities);
    for (size_t n = 0; n < list.size(); ++n) {
        const CameraCapability want = {static_cast<std::uint32_t>(200 - 2 * (n / 2)), 2,
                                       n % 2 == 0 ? 30u : 15u, 1};
        EXPECT_EQ(list[n], want) << "at " << n << ": " << Describe({list[n]});
    }
}

}  // namespace
}  // namespace orbelune

namespace orbelune {
namespace {

// Runs a walk over a source whose requests give `script` in turn and `after` once it is used
// up; gives the indexes asked for that yielded a type, and how many requests were made.
std::pair<std::vector<std::uint32_t>, std::uint32_t> Walk(
    const std::vector<std::pair<NativeTypeResult, int>>& script, NativeTypeResult after) {
    std::vector<NativeTypeResult> results;
    for (const auto& [result, times] : script) {
        results.insert(results.end(), static_cast<size_t>(times), result);
    }
    std::vector<std::uint32_t> typed;
    std::uint32_t requests = 0;
    for (NativeTypeWalk walk; !walk.done; ++requests) {
        const NativeTypeResult result =
            walk.typeIndex < results.size() ? results[walk.typeIndex] : after;
        if (result == NativeTypeResult::kType) {
            typed.push_back(walk.typeIndex);
        }
        walk.Record(result);
    }
    return {typed, requests};
}

TEST(NativeTypeWalkTest, EndsAtTheLastTypeOrAtItsBounds) {
    using R = NativeTypeResult;
    const struct {
        const char* label;
        std::vector<std::pair<R, int>> script;
        R after;
        std::vector<std::uint32_t> typed;
        std::uint32_t requests;
    } kCases[] = {
        {"a failing index is passed over",
         {{R::kType, 1}, {R::kFailed, 1}, {R::kType, 1}},
         R::kNoMoreTypes,
         {0, 2},
         4},
        {"no types at all", {}, R::kNoMoreTypes, {}, 1},
        {"a source that fails every index", {}, R::kFailed, {}, 16},
        {"a type ends a run of failures",
         {{R::kFailed, 15}, {R::kType, 1}, {R::kFailed, 15}, {R::kType, 1}},
         R::kNoMoreTypes,
         {15, 31},
         33},
        {"the device goes away during the walk", {{R::kType, 2}}, R::kFailed, {0, 1}, 18},
    };
    for (const auto& c : kCases) {
        const auto [typed, requests] = Walk(c.script, c.after);
        EXPECT_EQ(typed, c.typed) << c.label;
        EXPECT_EQ(requests, c.requests) << c.label;
    }
    // A source that never stops handing out types.
    const auto [typed, requests] = Walk({}, R::kType);
    EXPECT_EQ(typed.size(), kNativeTypeIndexLimit);
    EXPECT_EQ(requests, kNativeTypeIndexLimit);
}

}  // namespace
}  // namespace orbelune
