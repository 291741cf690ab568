// Consumer identification under Wine: the prefix's real registry (the current user's webcam
// consent store), real processes and real version resources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <tuple>

#include "common/text_win.h"
#include "consumers/app_identity_win.h"
#include "consumers/consent_store.h"
#include "consumers/consent_store_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

// The core's character rules stand in for the runtime's everywhere; here they meet the runtime
// the agent links (msvcrt, "C" locale) on every code unit.
TEST(ConsumersWinTest, CharacterRulesMatchTheRuntime) {
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const auto c = static_cast<char16_t>(unit);
        const auto w = static_cast<wint_t>(unit);
        ASSERT_TRUE(IsWindowsSpace(c) == (iswspace(w) != 0) && ToLowerUnit(c) == towlower(w) &&
                    ToUpperUnit(c) == towupper(w))
            << "code unit " << std::hex << unit;
    }
}

// A version resource node in 16-bit units: byte length, stated value length, type (1 text), key,
// then value and children, each from a 32-bit boundary.
std::u16string Node(std::u16string_view key, std::u16string_view value, char16_t stated,
                    char16_t type, std::u16string_view children = {}) {
    std::u16string node = {0, stated, type};
    node.append(key).append(1 + key.size() % 2, u'\0');
    node.append(value).append(value.size() % 2, u'\0');
    node.append(children);
    node[0] = static_cast<char16_t>(2 * node.size());
    return node;
}

TEST(ConsumersWinTest, VersionNames) {
    // The stand-in producer, and copies of it built with the version resources of
    // tests/consumers/fixtures.
    static const struct {
        std::u16string_view program;
        std::optional<std::u16string> name;  // nothing: the file cannot be read
    } kCases[] = {
        {u"consumer_fixture_zoom_meetings", u"Zoom Meetings (64-bit)"},
        {u"consumer_fixture_blank_description", u"   "},  // taken: ProductName is never read
        {u"consumer_fixture_product_only", u"Sample Studio Helper"},    // no FileDescription
        {u"consumer_fixture_two_translations", u"Second Description"},  // beats a ProductName
        {u"orbelune_windows_retouch_vcam_producer", u""},  // no version resource at all
        {u"missing", std::nullopt},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(
            ReadVersionName(ToU16(BuildFolder()) + u"\\" + std::u16string(c.program) + u".exe"),
            c.name);
    }

    // The description states 7 units, "Sample "; its zero comes after "Sample Studio".
    const std::u16string_view description(u"Sample Studio\0", 14);  // with its zero
    std::u16string resource =
        Node(u"VS_VERSION_INFO", {}, 0, 0,
             Node(u"StringFileInfo", {}, 0, 1,
                  Node(u"040904b0", {}, 0, 1, Node(u"FileDescription", description, 7, 1))) +
                 Node(u"VarFileInfo", {}, 0, 1, Node(u"Translation", u"\x0409\x04B0", 4, 0)));
    const testing::ScratchFolder folder(L"version-name");
    const std::wstring path =
        folder.CopyProgram(L"orbelune_windows_retouch_vcam_producer.exe", L"app.exe");
    const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    ASSERT_TRUE(update != nullptr &&
                UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), LANG_NEUTRAL,
                                resource.data(), static_cast<DWORD>(2 * resource.size())) &&
                EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(ReadVersionName(ToU16(path)), u"Sample Studio");
}

TEST(ConsumersWinTest, ScanFindsRunningAppsInUse) {
    const ConsentStore store;
    DisplayNameCache cache;
    EXPECT_TRUE(ScanConsentStore(cache).empty());
    // Stand-ins started under the names needed, so that the process snapshot lists them.
    const ScratchFolder folder(L"consumers");
    std::vector<ChildProcess> apps;
    for (const wchar_t* name : {L"zoom.exe", L"meetings.exe", L"shared.exe"}) {
        apps.push_back(Launch(folder.CopyProgram(L"consumer_fixture_zoom_meetings.exe", name)));
        EXPECT_TRUE(WaitUntil([&] { return !ProcessIdsOf(name).empty(); }, 20000));
    }
    store.App(L"NONPACKAGED", 25);  // the desktop apps' key in another letter case, with times
    store.App(folder.Path() + L"\\zoom.exe", 11);
    store.App(L"D:\\Second Install\\Zoom.exe", 12);    // the same running program
    store.App(folder.Path() + L"\\meetings.exe", 13);  // named by its version resource
    store.App(L"C:\\Stopped\\zoom.exe", 14, 1);        // its use has ended
    // Times of another type than QWORD read as none: a start that does not count, a stop that
    // does not end the use.
    const DWORD dword = 5;
    const std::uint64_t start = 5;
    store.Set(L"C:\\Dword\\shared.exe", L"LastUsedTimeStart", REG_DWORD, &dword);
    store.Set(L"C:\\Binary\\shared.exe", L"LastUsedTimeStart", REG_BINARY, &start);
    store.Set(folder.Path() + L"\\meetings.exe", L"LastUsedTimeStop", REG_DWORD, &dword);
    store.App(L"MSTeams_8wekyb3d8bbwe", 21);
    store.App(L"Vendor.Product_abc123", 22);
    store.App(L"Stopped.Package_abc123", 23, 24);
    // Desktop apps first, then packaged ones, each in the registry's order.
    const std::vector<ConsumerRecord> records = ScanConsentStore(cache);
    EXPECT_TRUE(std::is_partitioned(records.begin(), records.end(),
                                    [](const ConsumerRecord& r) { return !r.packaged; }));
    std::vector<std::tuple<std::u16string, std::u16string, bool, std::uint64_t>> found;
    found.reserve(records.size());
    for (const ConsumerRecord& r : records) {
        found.emplace_back(r.identity, r.displayName, r.packaged, r.lastUsedStart);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (decltype(found){{u"MSTeams_8wekyb3d8bbwe", u"Microsoft Teams", true, 21},
                                      {u"Vendor.Product_abc123", u"Product", true, 22},
                                      {u"meetings.exe", u"Zoom Meetings", false, 13},
                                      {u"zoom.exe", u"Zoom", false, 11},
                                      {u"zoom.exe", u"Zoom", false, 12}}));
}

}  // namespace
}  // namespace orbelune
