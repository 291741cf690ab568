// Consumer identification under Wine: the prefix's real registry (the current user's webcam
// consent store), real processes, real version resources, and a consumers section made the way
// the virtual camera makes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <tuple>

#include "common/bytes.h"
#include "common/text_win.h"
#include "consumers/consent_store.h"
#include "consumers/consent_store_win.h"
#include "consumers/consumer_tracker_win.h"
#include "consumers/consumers_block.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using testing::BuildFolder;
using testing::ChildProcess;
using testing::CountProcesses;
using testing::Launch;
using testing::ScratchFolder;
using testing::WaitUntil;

constexpr std::uint64_t kMinute = 60ULL * 10'000'000;

std::uint64_t NowFiletime() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// A stand-in application carrying one of the version resources in tests/consumers/fixtures.
std::wstring Fixture(std::wstring_view variant) {
    return L"consumer_fixture_" + std::wstring(variant) + L".exe";
}

// The consent store, removed at construction and destruction: every test starts without one.
struct ConsentStore {
    ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kWebcamKeyPath).c_str()); }
    ~ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kWebcamKeyPath).c_str()); }

    // Creates `key` below the webcam key with one value, or none when `size` is 0.
    static void Set(std::wstring_view key, std::u16string_view name, DWORD type, const void* data,
                    DWORD size) {
        const std::wstring path = ToWide(kWebcamKeyPath) + L"\\" + std::wstring(key);
        UniqueHkey handle;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, handle.Put(), nullptr),
                  ERROR_SUCCESS);
        if (size != 0) {
            ASSERT_EQ(RegSetValueExW(handle.Get(), ToWide(name).c_str(), 0, type,
                                     static_cast<const BYTE*>(data), size),
                      ERROR_SUCCESS);
        }
    }
    // An application's key with QWORD times; a missing time is not written.
    static void App(std::wstring_view key, std::optional<std::uint64_t> start,
                    std::optional<std::uint64_t> stop = std::nullopt) {
        Set(key, u"", 0, nullptr, 0);
        if (start) {
            Set(key, kLastUsedTimeStartValue, REG_QWORD, &*start, 8);
        }
        if (stop) {
            Set(key, kLastUsedTimeStopValue, REG_QWORD, &*stop, 8);
        }
    }
    // The NonPackaged key of a desktop app: its path with '#' for '\'.
    static std::wstring Desktop(std::wstring_view exePath) {
        std::wstring name(exePath);
        std::replace(name.begin(), name.end(), L'\\', L'#');
        return L"NonPackaged\\" + name;
    }
};

// Stand-ins copied under chosen names and started, so that the process snapshot lists them.
// The processes end before their folder goes.
struct RunningApps {
    ScratchFolder folder{L"consumers"};
    std::vector<ChildProcess> children;

    std::wstring Copy(std::wstring_view variant, std::wstring_view name) const {
        folder.CopyProgram(Fixture(variant), name);
        return folder.Path() + L"\\" + std::wstring(name);
    }
    std::wstring Start(std::wstring_view variant, std::wstring_view name) {
        const std::wstring path = Copy(variant, name);
        children.push_back(Launch(L"\"" + path + L"\""));
        EXPECT_TRUE(WaitUntil([&] { return CountProcesses(name) > 0; }, 10000));
        return path;
    }
};

// The consumers block under its Local\ name, created and stamped as the virtual camera does.
struct Section {
    UniqueHandle mapping{CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kConsumersBlockSize,
                                            L"Local\\OrbeluneVcamConsumers.v1")};
    std::span<std::byte> bytes{static_cast<std::byte*>(MapViewOfFile(
                                   mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, kConsumersBlockSize)),
                               kConsumersBlockSize};

    Section() { Stamp(kConsumersMagic, kConsumersVersion); }
    ~Section() { UnmapViewOfFile(bytes.data()); }
    void Stamp(std::uint32_t magic, std::uint32_t version) const {
        StoreU32(bytes, kConsumersMagicOffset, magic);
        StoreU32(bytes, kConsumersVersionOffset, version);
    }
    std::uint32_t Sequence() const { return LoadU32(bytes, kConsumersSequenceOffset); }
    // The block holds exactly these records.
    void ExpectRecords(const std::vector<ConsumerRecord>& want) const {
        ASSERT_EQ(LoadU32(bytes, kConsumersCountOffset), want.size());
        for (size_t i = 0; i < kMaxConsumers; ++i) {
            const auto image = i < want.size() ? ConsumerSlotImage(want[i])
                                               : std::array<std::byte, kConsumerSlotSize>{};
            EXPECT_TRUE(std::ranges::equal(
                image,
                bytes.subspan(kConsumersEntriesOffset + i * kConsumerSlotSize, kConsumerSlotSize)))
                << "slot " << i;
        }
    }
};

// A tracker whose mapping goes with the test (the agent itself never unmaps).
struct Tracker {
    ConsumerTracker state;
    ~Tracker() {
        if (state.section.IsMapped()) {
            UnmapViewOfFile(state.section.view);
            CloseHandle(state.section.mappingHandle);
        }
    }
    // Refreshes as if a second had passed since the last refresh.
    void RefreshNow(bool consumerActive, std::uint64_t referenceTick = 0) {
        state.lastRefreshTick = GetTickCount64() - kRefreshIntervalMs;
        RefreshConsumers(state, consumerActive, referenceTick);
    }
};

using Row = std::tuple<std::u16string, std::u16string, bool, std::uint64_t>;

// The records in identity and start order, since the enumeration order is the registry's.
std::vector<Row> Sorted(const std::vector<ConsumerRecord>& records) {
    std::vector<Row> rows;
    for (const ConsumerRecord& r : records) {
        rows.emplace_back(r.identity, r.displayName, r.packaged, r.lastUsedStart);
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(std::get<0>(a), std::get<3>(a)) < std::tie(std::get<0>(b), std::get<3>(b));
    });
    return rows;
}

// The core's own character rules stand in for the runtime's everywhere; here they meet the
// runtime the agent links (msvcrt, "C" locale) on every code unit.
TEST(ConsumersWinTest, CharacterRulesMatchTheRuntime) {
    int mismatches = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const auto c = static_cast<char16_t>(unit);
        if (IsWindowsSpace(c) != (iswspace(static_cast<wint_t>(unit)) != 0) ||
            ToLowerUnit(c) != towlower(static_cast<wint_t>(unit)) ||
            ToUpperUnit(c) != towupper(static_cast<wint_t>(unit))) {
            EXPECT_LT(++mismatches, 5) << "code unit " << std::hex << unit;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ConsumersWinTest, VersionNames) {
    static const struct {
        std::wstring_view variant;
        std::u16string_view name;
    } kCases[] = {
        {L"zoom_meetings", u"Zoom Meetings (64-bit)"},
        {L"blank_description", u"   "},  // taken: the usable ProductName is never read
        {L"beta_only", u"(Beta)"},
        {L"product_only", u"Sample Studio Helper"},
        {L"two_translations", u"Second Description"},  // beats the first one's ProductName
        {L"plain", u""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ReadVersionName(ToU16(BuildFolder() + L"\\" + Fixture(c.variant))), c.name);
    }
    EXPECT_EQ(ReadVersionName(u"C:\\no such folder\\app.exe"), u"");

    // The first name of a key stays whatever executable comes later; no file is read then.
    DisplayNameCache cache;
    const std::u16string folder = ToU16(BuildFolder()) + u"\\";
    EXPECT_EQ(ResolveDisplayName(cache, folder + u"consumer_fixture_zoom_meetings.exe", u"a.exe"),
              u"Zoom Meetings");
    EXPECT_EQ(ResolveDisplayName(cache, folder + u"consumer_fixture_product_only.exe", u"a.exe"),
              u"Zoom Meetings");
    EXPECT_EQ(ResolveDisplayName(cache, u"C:\\gone\\a.exe", u"a.exe"), u"Zoom Meetings");
}

TEST(ConsumersWinTest, DesktopApps) {
    ConsentStore store;
    RunningApps apps;
    const std::uint64_t t = NowFiletime();
    const DWORD dword = 5;

    store.App(store.Desktop(apps.Start(L"zoom_meetings", L"zoom.exe")), t + 1);
    store.App(store.Desktop(L"D:\\Second Install\\Zoom.exe"), t + 2);
    store.App(store.Desktop(apps.Start(L"zoom_meetings", L"meetings.exe")), t + 3, 0);
    store.App(store.Desktop(apps.Start(L"beta_only", L"tool.exe")), t + 4);
    store.App(store.Desktop(apps.Start(L"blank_description", L"blankdesc.exe")), t + 5);
    store.App(store.Desktop(apps.Start(L"product_only", L"studio.exe")), t + 6);
    store.App(store.Desktop(apps.Start(L"plain", L"My.App.exe")), t + 7);
    store.App(store.Desktop(apps.Start(L"plain", L"myorbelune.exe")), t + 8);
    // Our own product, running, in use, in another letter case.
    apps.Start(L"plain", L"orbelune_producer.exe");
    store.App(store.Desktop(L"C:\\Orbelune\\ORBELUNE_Producer.exe"), t + 9);
    // shared.exe runs, but only the key whose stop time is no QWORD (so reads as 0) is in use.
    apps.Start(L"plain", L"shared.exe");
    store.App(store.Desktop(L"C:\\Stopped\\shared.exe"), t + 10, t + 11);
    store.App(store.Desktop(L"C:\\Empty\\shared.exe"), std::nullopt);
    store.Set(store.Desktop(L"C:\\Dword Start\\shared.exe"), kLastUsedTimeStartValue, REG_DWORD,
              &dword, 4);
    store.Set(store.Desktop(L"C:\\Binary Start\\shared.exe"), kLastUsedTimeStartValue, REG_BINARY,
              &t, 8);
    store.App(store.Desktop(L"C:\\Dword Stop\\shared.exe"), t + 12);
    store.Set(store.Desktop(L"C:\\Dword Stop\\shared.exe"), kLastUsedTimeStopValue, REG_DWORD,
              &dword, 4);
    // In use but not running; in use with no file name.
    store.App(store.Desktop(apps.Copy(L"plain", L"notrunning.exe")), t + 13);
    store.App(store.Desktop(L"C:\\Apps\\"), t + 14);

    DisplayNameCache cache;
    EXPECT_EQ(Sorted(ScanConsentStore(cache)),
              (std::vector<Row>{
                  {u"blankdesc.exe", u"Blankdesc", false, t + 5},
                  {u"meetings.exe", u"Zoom Meetings", false, t + 3},
                  {u"my.app.exe", u"My.app", false, t + 7},
                  {u"myorbelune.exe", u"Myorbelune", false, t + 8},
                  {u"shared.exe", u"Shared", false, t + 12},
                  {u"studio.exe", u"Sample Studio", false, t + 6},
                  {u"tool.exe", u"Tool", false, t + 4},
                  {u"zoom.exe", u"Zoom", false, t + 1},
                  {u"zoom.exe", u"Zoom", false, t + 2},
              }));
}

TEST(ConsumersWinTest, PackagedAppsAndMissingKeys) {
    ConsentStore store;
    RunningApps apps;
    DisplayNameCache cache;
    EXPECT_TRUE(ScanConsentStore(cache).empty());

    // No NonPackaged key: packaged apps are still reported, running or not.
    const std::uint64_t t = NowFiletime();
    const std::wstring longest(255, L'n');
    store.App(L"MSTeams_8wekyb3d8bbwe", t + 1);
    store.App(L"Microsoft.WindowsCamera_8wekyb3d8bbwe", t + 2, 0);
    store.App(L"Vendor.Product_abc123", t + 3);
    store.App(longest, t + 4);
    store.App(L"Stopped.App_x", t + 5, t + 6);
    const std::vector<Row> packaged = {
        {u"MSTeams_8wekyb3d8bbwe", u"Microsoft Teams", true, t + 1},
        {u"Microsoft.WindowsCamera_8wekyb3d8bbwe", u"Windows Camera", true, t + 2},
        {u"Vendor.Product_abc123", u"Product", true, t + 3},
        {ToU16(longest), ToU16(longest), true, t + 4},
    };
    EXPECT_EQ(Sorted(ScanConsentStore(cache)), packaged);

    // The NonPackaged key in another letter case: the desktop pass opens it all the same, and
    // the packaged pass skips it although it carries times of its own.
    store.App(L"NONPACKAGED", t);
    store.App(store.Desktop(apps.Start(L"plain", L"desk.exe")), t + 7);
    const std::vector<std::u16string> names = ListSubkeys(HKEY_CURRENT_USER, kWebcamKeyPath);
    ASSERT_EQ(names.size(), 6u);
    ASSERT_NE(std::find(names.begin(), names.end(), u"NONPACKAGED"), names.end());
    const std::vector<ConsumerRecord> records = ScanConsentStore(cache);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(Sorted({records.begin() + 1, records.end()}), packaged);
    EXPECT_EQ(Sorted({records.front()}), (std::vector<Row>{{u"desk.exe", u"Desk", false, t + 7}}));
}

// Every key and snapshot is released within the scan.
TEST(ConsumersWinTest, ThousandScansKeepTheHandleCount) {
    ConsentStore store;
    RunningApps apps;
    const std::uint64_t t = NowFiletime();
    store.App(store.Desktop(apps.Start(L"zoom_meetings", L"meetings.exe")), t);
    store.App(store.Desktop(L"C:\\Apps\\notrunning.exe"), t);
    store.App(L"MSTeams_8wekyb3d8bbwe", t);
    store.App(L"Vendor.Product_abc123", t, t);

    DisplayNameCache cache;
    ASSERT_EQ(ScanConsentStore(cache).size(), 2u);  // whatever the first scan loads stays
    const DWORD before = testing::HandleCountOf(GetCurrentProcess(), GetCurrentProcessId());
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(ScanConsentStore(cache).size(), 2u) << "scan " << i;
    }
    EXPECT_GT(before, 0u);
    EXPECT_EQ(testing::HandleCountOf(GetCurrentProcess(), GetCurrentProcessId()), before);
}

TEST(ConsumersWinTest, SixAppsInUseGiveFourSlotsNewestFirst) {
    ConsentStore store;
    RunningApps apps;
    const Section section;
    const std::uint64_t t = NowFiletime();
    store.App(L"Vendor.First_x", t - 1 * kMinute);
    store.App(store.Desktop(apps.Start(L"plain", L"zoom.exe")), t - 2 * kMinute);
    store.App(L"MSTeams_8wekyb3d8bbwe", t - 3 * kMinute);
    store.App(L"Vendor.Fourth_x", t - 4 * kMinute);
    store.App(store.Desktop(apps.Start(L"zoom_meetings", L"meetings.exe")), t - 5 * kMinute);
    store.App(L"Vendor.Sixth_x", t - 6 * kMinute);

    Tracker tracker;
    const std::uint64_t before = GetTickCount64();
    RefreshConsumers(tracker.state, true, 0);
    const std::uint64_t after = GetTickCount64();
    section.ExpectRecords({{u"First", u"Vendor.First_x", true, t - 1 * kMinute},
                           {u"Zoom", u"zoom.exe", false, t - 2 * kMinute},
                           {u"Microsoft Teams", u"MSTeams_8wekyb3d8bbwe", true, t - 3 * kMinute},
                           {u"Fourth", u"Vendor.Fourth_x", true, t - 4 * kMinute}});
    EXPECT_EQ(section.Sequence(), 1u);
    EXPECT_GE(LoadU64(section.bytes, kConsumersUpdatedTickOffset), before);
    EXPECT_LE(LoadU64(section.bytes, kConsumersUpdatedTickOffset), after);
    EXPECT_EQ(LoadU32(section.bytes, kConsumersMagicOffset), kConsumersMagic);

    // Within the second nothing happens; after it, no consumer means an empty list although
    // the store has not changed.
    RefreshConsumers(tracker.state, false, 0);
    EXPECT_EQ(section.Sequence(), 1u);
    tracker.RefreshNow(false);
    section.ExpectRecords({});
    EXPECT_EQ(section.Sequence(), 2u);
}

TEST(ConsumersWinTest, NearestToTheConsumerStartFirst) {
    const std::uint64_t tick = GetTickCount64();
    if (tick < 20 * 60'000) {
        GTEST_SKIP() << "the clock has not run long enough for a consumer start 10 minutes back";
    }
    ConsentStore store;
    const Section section;
    const std::uint64_t reference = NowFiletime() - 10 * kMinute;  // the consumer's start
    store.App(L"V.Now_x", reference + 10 * kMinute);
    store.App(L"V.LongAgo_x", reference - 20 * kMinute);
    store.App(L"V.Before_x", reference - kMinute / 2);
    store.App(L"V.After_x", reference + kMinute / 30);

    Tracker tracker;
    tracker.RefreshNow(true, tick - 10 * 60'000);
    section.ExpectRecords({{u"After", u"V.After_x", true, reference + kMinute / 30},
                           {u"Before", u"V.Before_x", true, reference - kMinute / 2},
                           {u"Now", u"V.Now_x", true, reference + 10 * kMinute},
                           {u"LongAgo", u"V.LongAgo_x", true, reference - 20 * kMinute}});
    // A consumer start later than the clock is none: newest first.
    tracker.RefreshNow(true, GetTickCount64() + 60'000);
    section.ExpectRecords({{u"Now", u"V.Now_x", true, reference + 10 * kMinute},
                           {u"After", u"V.After_x", true, reference + kMinute / 30},
                           {u"Before", u"V.Before_x", true, reference - kMinute / 2},
                           {u"LongAgo", u"V.LongAgo_x", true, reference - 20 * kMinute}});
}

TEST(ConsumersWinTest, BlockOpenedLateAndWrittenOnlyWhenStamped) {
    ConsentStore store;
    store.App(L"Vendor.App_x", NowFiletime());
    Tracker tracker;
    tracker.RefreshNow(true);
    EXPECT_FALSE(tracker.state.section.IsMapped());

    const Section section;
    std::fill(section.bytes.begin(), section.bytes.end(), std::byte{0x5A});
    const std::vector<std::byte> before(section.bytes.begin(), section.bytes.end());
    static const struct {
        std::uint32_t magic, version;
    } kStamps[] = {{0x4F42434E, 1}, {0x5A5A5A5A, 0x5A5A5A5A}, {kConsumersMagic, 2}};
    for (const auto& stamp : kStamps) {
        section.Stamp(stamp.magic, stamp.version);
        tracker.RefreshNow(true);
        EXPECT_TRUE(std::equal(before.begin() + 8, before.end(), section.bytes.begin() + 8))
            << std::hex << stamp.magic << " " << stamp.version;
    }
    // The mapping was kept: once stamped, the block is written at the next refresh.
    EXPECT_TRUE(tracker.state.section.IsMapped());
    section.Stamp(kConsumersMagic, kConsumersVersion);
    tracker.RefreshNow(false);
    section.ExpectRecords({});
    EXPECT_EQ(section.Sequence(), 0x5A5A5A5Bu);
    EXPECT_EQ(LoadU32(section.bytes, 12), 0x5A5A5A5Au);
}

}  // namespace
}  // namespace orbelune
