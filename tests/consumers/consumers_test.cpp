#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "consumers/app_identity.h"
#include "consumers/consent_store.h"
#include "consumers/consumers_block.h"

namespace orbelune {
namespace {

TEST(AppIdentityTest, CleanAndPackagedNames) {
    static const struct {
        std::u16string (*function)(std::u16string_view);
        std::u16string_view name, result;
    } kCases[] = {
        {CleanVersionName, u"App HELPER webHelper Agent gpu", u"App"},
        // Cut at the last '(' only.
        {CleanVersionName, u"App (outer (inner))", u"App (outer"},
        // Windows blanks are trimmed (U+00A0, U+3000 too); only U+0020 separates the last word.
        {CleanVersionName, u"\u00a0\tCam Tool\u3000\r\n", u"Cam Tool"},
        {CleanVersionName, u"Cam\u00a0Helper", u"Cam\u00a0Helper"},
        {CleanVersionName, u"\u2000Cam\u200a", u"Cam"},
        // Known package families by the name before the underscore, in any letter case; others
        // by the last dotted part of that name, unless the part is empty.
        {PackagedDisplayName, u"MSTeams_8wekyb3d8bbwe", u"Microsoft Teams"},
        {PackagedDisplayName, u"Microsoft.WindowsCamera_8wekyb3d8bbwe", u"Windows Camera"},
        {PackagedDisplayName, u"A.B.C_x.y", u"C"},
        {PackagedDisplayName, u"Vendor._abc", u"Vendor."},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.function(c.name), c.result) << "row " << &c - kCases;
    }
}

TEST(AppIdentityTest, DesktopNames) {
    DisplayNameCache cache;
    EXPECT_EQ(ResolveWithoutFile(cache, u"ms-teams.exe"), u"Microsoft Teams");
    EXPECT_EQ(ResolveFromVersionName(cache, u"app.exe", u"Sample GPU Helper"), u"Sample");
    EXPECT_EQ(ResolveFromVersionName(cache, u"tool.exe", u"(Beta)"), u"Tool");
    EXPECT_EQ(ResolveFromVersionName(cache, u".exe", u""), u"");
    // The first name of a key stays.
    EXPECT_EQ(ResolveWithoutFile(cache, u"app.exe"), u"Sample");

    // 128 units cut to the 127 that fit the buffer before its terminator.
    EXPECT_EQ(VersionStringQuery(0x0007, 0xFFFF, std::u16string(103, u'k')),
              std::u16string(u"\\StringFileInfo\\0007ffff\\").append(102, u'k'));
}

TEST(ConsentStoreTest, WhichDesktopAppsCount) {
    const RunningProcessNames running = {u"zoom.exe", u"orbelune_producer.exe", u"myorbelune.exe"};
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps/ZOOM.EXE", ~0ULL, 0, running), u"zoom.exe");
    // Started and not stopped: never started is no use.
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps#zoom.exe", 0, 0, running), u"");
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps#teams.exe", 5, 0, running), u"");  // not running
    // Our own programs, in any letter case, but not names that merely look like them.
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps#OrbeLune_Producer.EXE", 5, 0, running), u"");
    EXPECT_EQ(DesktopConsumerKey(u"C:#myorbelune.exe", 5, 0, running), u"myorbelune.exe");
    EXPECT_FALSE(IsNonPackagedName(u"NonPackaged_x"));  // the scan under Wine takes "NONPACKAGED"
}

constexpr std::uint64_t kTen = 134408520000000000;  // 2026-12-04 10:00:00 UTC
constexpr std::uint64_t kSecond = 10'000'000;

TEST(ConsumersBlockTest, RefreshRhythmAndReferenceMoment) {
    EXPECT_FALSE(IsRefreshDue(50'999, 50'000));
    EXPECT_TRUE(IsRefreshDue(51'000, 50'000));
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
        {t, {t - s, t + 9 * s, t + s, t - s}, u"acdb"},  // equal keys keep the scan order
        {0, {t - s, t + 9 * s, t + s, t - s}, u"bcad"},  // no reference: the most recent first
        {1, {~0ULL, 2, 1}, u"cba"},                      // distances do not wrap
    };
    for (const auto& c : kCases) {
        std::vector<ConsumerRecord> records;
        for (const std::uint64_t start : c.starts) {
            records.push_back({u"", std::u16string(1, u'a' + records.size()), false, start});
        }
        SortConsumers(records, c.reference);
        std::u16string order;
        std::ranges::for_each(records, [&](const ConsumerRecord& r) { order += r.identity; });
        EXPECT_EQ(order, c.order);
    }
}

TEST(ConsumersBlockTest, RecordsAsSlots) {
    // Of five records the first four, each identity narrowed to ASCII ('?' for every unit beyond
    // it, each half of a pair too), `packaged` as 1 or 0; the block's writer cuts the texts.
    const ConsumerRecord records[] = {{u"N\U0001F600", u"\u0080\u007fa.exe\U0001F600", true, 9},
                                      {u"Z", u"z.exe", false, 2},
                                      {u"", u"c", false, 3},
                                      {u"D", u"d", true, 4},
                                      {u"E", u"e", false, 5}};
    const std::vector<vcam::ConsumerSlot> expected = {{u"N\U0001F600", "?\177a.exe??", 1, 9},
                                                      {u"Z", "z.exe", 0, 2},
                                                      {u"", "c", 0, 3},
                                                      {u"D", "d", 1, 4}};
    EXPECT_EQ(ConsumerSlots(records), expected);
}

}  // namespace
}  // namespace orbelune
