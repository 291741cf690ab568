#include "capabilities/capabilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orbelune {
namespace {

// Native types written "WxH@N/D[MIN-MAX]", each part left out when the type lacks it:
// "1280x720[15/1-30/1]" has no nominal rate, "@30/1" no frame size, "[-60/1]" only a maximum.
// Each pair is packed as Media Foundation packs sizes and rates: first << 32 | second.
std::vector<NativeTypeReading> Types(std::string_view text) {
    std::vector<NativeTypeReading> readings;
    std::istringstream words{std::string(text)};
    for (std::string word; words >> word;) {
        // The pair `format` reads just after the first `mark` (or at the start), or nothing;
        // a missing mark finds npos, and npos + 1 is 0.
        const auto pair = [&word](char mark, const char* format) -> std::optional<std::uint64_t> {
            const std::size_t at = mark == 0 ? 0 : word.find(mark) + 1;
            unsigned first = 0, second = 0;
            const bool read = (at != 0 || mark == 0) && at < word.size() && word[at] >= '0' &&
                              word[at] <= '9' &&
                              std::sscanf(word.c_str() + at, format, &first, &second) == 2;
            return read ? std::optional(std::uint64_t{first} << 32 | second) : std::nullopt;
        };
        readings.push_back(
            {pair('@', "%u/%u"), pair('-', "%u/%u"), pair('[', "%u/%u"), pair(0, "%ux%u")});
    }
    return readings;
}

std::string Formats(const std::vector<CameraCapability>& list) {
    std::string text;
    for (const CameraCapability& c : list) {
        text.append(text.empty() ? "" : " ");
        text += std::to_string(c.width) + "x" + std::to_string(c.height) + "@" +
                std::to_string(c.frameRateNumerator) + "/" + std::to_string(c.frameRateDenominator);
    }
    return text;
}

TEST(SelectNativeFormatsTest, ChoosesFoldsAndOrders) {
    static const struct {
        std::string_view types, formats;
    } kCases[] = {
        // The worked example: the fold appended, the second pixel format a duplicate.
        {"1920x1080@30/1 1280x720@15/1 1280x720@15/1 640x480@30/1",
         "1280x720@30/1 1280x720@15/1 640x480@30/1"},
        {"1279x720@30/1 1280x719@30/1 1921x1080@30/1 @30/1", ""},  // odd sides, no size
        {"1280x720@60/1[5/1-30/1] 640x480@30000/1001[5/1-30/1]", "1280x720@5/1 640x480@30000/1001"},
        // An incomplete range counts for nothing, its maximum neither.
        {"1280x720@25/1[-60/1] 640x480@24/1[0/1-60/1] 320x240@20/1[15/1-60/0] 160x120[15/0-30/1]",
         "1280x720@25/1 640x480@24/1 320x240@20/1"},
        {"1280x720@0/1 1280x720@30/0 1280x720@60/1 1280x720@30001/1000 1280x720", ""},
        {"1440x1440@30/1", "1280x720@30/1"},  // squares fold to landscape
        {"1280x800@24/1 600x1300@20/1 800x800@15/1", "1280x720@24/1 720x1280@20/1"},
        // A native 1280x720 at the candidate's rate or above covers it.
        {"1920x1080@30/1 1280x720@60/2", "1280x720@60/2"},
        // The candidate takes the highest rate.
        {"1920x1080@25/1 2560x1440@30/1 1280x800@29/1", "1280x720@30/1"},
        {"320x240@30/1 640x480@15/1 640x360@30/1 640x480@30000/1001 640x480@24/1 960x540@5/1",
         "960x540@5/1 640x480@30000/1001 640x480@24/1 640x480@15/1 640x360@30/1 320x240@30/1"},
        {"640x480@4294967294/4294967295 640x480@4294967293/4294967294",
         "640x480@4294967294/4294967295 640x480@4294967293/4294967294"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Formats(SelectNativeFormats(Types(c.types))), c.formats) << c.types;
    }
    // 30/1 and 60/2 rank equal, in either order, but are two formats.
    EXPECT_EQ(SelectNativeFormats(Types("640x480@30/1 640x480@60/2 640x480@30/1")).size(), 2u);
}

TEST(NativeTypeWalkTest, EndsAtTheLastTypeOrAtItsBounds) {
    // Each letter is what one request gives: T a type, F a failure, E no more types; the last
    // letter repeats once the script is used up.
    static const struct {
        std::string_view script;
        std::uint32_t types, requests;
    } kCases[] = {
        {"F", 0, 16},  // a source that fails every index
        {"FFFFFFFFFFFFFFFTFFFFFFFFFFFFFFFTE", 2, 33},
        {"T", kNativeTypeIndexLimit, kNativeTypeIndexLimit},
    };
    for (const auto& c : kCases) {
        std::uint32_t types = 0;
        std::uint32_t requests = 0;
        for (NativeTypeWalk walk; !walk.done; ++requests) {
            const char letter = c.script[std::min<size_t>(walk.typeIndex, c.script.size() - 1)];
            types += letter == 'T';
            walk.Record(letter == 'T'   ? NativeTypeResult::kType
                        : letter == 'F' ? NativeTypeResult::kFailed
                                        : NativeTypeResult::kNoMoreTypes);
        }
        EXPECT_EQ(types, c.types) << c.script;
        EXPECT_EQ(requests, c.requests) << c.script;
    }
}

}  // namespace
}  // namespace orbelune
