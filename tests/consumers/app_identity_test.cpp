#include "consumers/app_identity.h"

#include <gtest/gtest.h>

#include "consumers/consent_store.h"

namespace orbelune {
namespace {

std::string Ascii(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

// The Windows runtime's answers, which glibc does not give: U+00A0 is a blank, and only ASCII
// letters change case.
TEST(AppIdentityTest, WindowsCharacterRules) {
    static const struct {
        char16_t unit;
        bool space;
        char16_t lower, upper;
    } kCases[] = {
        {u' ', true, u' ', u' '},        {u'\r', true, u'\r', u'\r'},
        {0x00A0, true, 0x00A0, 0x00A0},  {0x3000, true, 0x3000, 0x3000},
        {0x0085, false, 0x0085, 0x0085}, {0x200B, false, 0x200B, 0x200B},
        {u'A', false, u'a', u'A'},       {u'z', false, u'z', u'Z'},
        {0x00C9, false, 0x00C9, 0x00C9}, {0x00E9, false, 0x00E9, 0x00E9},
        {0x0130, false, 0x0130, 0x0130},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsWindowsSpace(c.unit), c.space) << int{c.unit};
        EXPECT_EQ(ToLowerUnit(c.unit), c.lower) << int{c.unit};
        EXPECT_EQ(ToUpperUnit(c.unit), c.upper) << int{c.unit};
    }
}

TEST(AppIdentityTest, CleanVersionName) {
    static const struct {
        std::u16string_view name, cleaned;
    } kCases[] = {
        {u"Zoom Meetings (64-bit)", u"Zoom Meetings"},
        {u"Example Helper (Renderer)", u"Example"},
        {u"Example GPU Helper", u"Example"},
        {u"Example Tool", u"Example Tool"},
        {u"Helper", u"Helper"},
        {u"(Beta)", u""},
        {u"   ", u""},
        {u"App HELPER webHelper Agent", u"App"},
        {u"App (x64) Renderer (beta)", u"App"},
        // Cut at the last '(' only; a ')' with no '(' stays; so do words that merely contain
        // a suffix word.
        {u"App (outer (inner))", u"App (outer"},
        {u"App 64)", u"App 64)"},
        {u"App Helpers", u"App Helpers"},
        // Windows blanks are trimmed, but only U+0020 separates the last word.
        {u"\u00a0\tCam Tool\u3000\r\n", u"Cam Tool"},
        {u"Cam\u00a0Helper", u"Cam\u00a0Helper"},
        {u"Cam Helper\u00a0", u"Cam"},
        {u"Cam\u00a0(x64)", u"Cam"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(CleanVersionName(c.name), c.cleaned) << Ascii(c.name);
    }
}

TEST(AppIdentityTest, ExecutableKeyAndFileNameName) {
    static const struct {
        std::u16string_view path, key, name;
    } kCases[] = {
        {u"C:\\Program Files\\Zoom\\bin\\Zoom.exe", u"zoom.exe", u"Zoom"},
        {u"C:\\Apps/mixed\\My.Tool.EXE", u"my.tool.exe", u"My.tool"},
        {u"noextension", u"noextension", u"Noextension"},
        {u"C:\\Apps\\.exe", u".exe", u""},
        {u"C:\\Apps\\", u"", u""},
        // Letters beyond ASCII keep their case both ways.
        {u"C:\\\u00c9cran.exe", u"\u00c9cran.exe", u"\u00c9cran"},
        {u"C:\\\u00e9cran.exe", u"\u00e9cran.exe", u"\u00e9cran"},
    };
    for (const auto& c : kCases) {
        const std::u16string key = ExecutableKey(c.path);
        EXPECT_EQ(key, c.key) << Ascii(c.path);
        EXPECT_EQ(FileNameDisplayName(key), c.name) << Ascii(c.path);
    }
}

TEST(AppIdentityTest, ResolutionOrderAndCache) {
    DisplayNameCache cache;
    // Known applications need no file, and their names are not cleaned.
    EXPECT_EQ(ResolveWithoutFile(cache, u"teams.exe"), u"Microsoft Teams");
    EXPECT_EQ(ResolveWithoutFile(cache, u"ms-teams.exe"), u"Microsoft Teams");
    EXPECT_EQ(ResolveWithoutFile(cache, u"obs32.exe"), u"OBS Studio");
    EXPECT_EQ(ResolveWithoutFile(cache, u"ZOOM.EXE"), std::nullopt);

    EXPECT_EQ(ResolveFromVersionName(cache, u"app.exe", u"Sample Studio GPU Helper"),
              u"Sample Studio");
    EXPECT_EQ(ResolveFromVersionName(cache, u"tool.exe", u"(Beta)"), u"Tool");
    EXPECT_EQ(ResolveFromVersionName(cache, u".exe", u""), u"");
    // The first name of a key stays, an empty one included.
    EXPECT_EQ(ResolveWithoutFile(cache, u"app.exe"), u"Sample Studio");
    EXPECT_EQ(ResolveWithoutFile(cache, u".exe"), u"");
    EXPECT_EQ(cache.size(), 6u);
}

TEST(AppIdentityTest, PackagedNames) {
    static const struct {
        std::u16string_view packageFamilyName;
        std::optional<std::u16string_view> known;
        std::u16string_view display;
    } kCases[] = {
        {u"MSTeams_8wekyb3d8bbwe", u"Microsoft Teams", u"Microsoft Teams"},
        {u"Microsoft.WindowsCamera_8wekyb3d8bbwe", u"Windows Camera", u"Windows Camera"},
        {u"5319275A.WhatsAppDesktop_cv1g1gvanyjgm", u"WhatsApp", u"WhatsApp"},
        {u"msteams", u"Microsoft Teams", u"Microsoft Teams"},
        {u"MSTeamsX_8wekyb3d8bbwe", std::nullopt, u"MSTeamsX"},
        {u"Vendor.Product_abc123", std::nullopt, u"Product"},
        {u"A.B.C_x.y", std::nullopt, u"C"},
        {u"Plainname", std::nullopt, u"Plainname"},
        {u"Vendor._abc", std::nullopt, u"Vendor."},
        // Only ASCII letters fold: U+0130 is no 'i' here, whatever Unicode says.
        {u"M\u0130crosoftTeams_x", std::nullopt, u"M\u0130crosoftTeams"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(LookupPackagedName(c.packageFamilyName), c.known) << Ascii(c.packageFamilyName);
        EXPECT_EQ(PackagedDisplayName(c.packageFamilyName), c.display)
            << Ascii(c.packageFamilyName);
    }
}

TEST(AppIdentityTest, VersionStringQuery) {
    EXPECT_EQ(VersionStringQuery(0x0409, 0x04B0, u"FileDescription"),
              u"\\StringFileInfo\\040904b0\\FileDescription");
    // Cut to the 127 units that fit the buffer before its terminator.
    EXPECT_EQ(VersionStringQuery(0x0007, 0xFFFF, std::u16string(200, u'k')),
              u"\\StringFileInfo\\0007ffff\\" + std::u16string(102, u'k'));
}

TEST(ConsentStoreTest, DesktopConsumerKey) {
    const RunningProcessNames running = {u"zoom.exe", u"orbelune_producer.exe", u"myorbelune.exe",
                                         u"\u00e9cran.exe"};
    static const struct {
        std::u16string_view subkey;
        std::uint64_t start, stop;
        std::u16string_view key;
    } kCases[] = {
        {u"C:#Program Files#Zoom#bin#Zoom.exe", 5, 0, u"zoom.exe"},
        {u"C:#Apps/ZOOM.EXE", ~0ULL, 0, u"zoom.exe"},
        // Started and not stopped, whatever the two times are.
        {u"C:#Apps#zoom.exe", 0, 0, u""},
        {u"C:#Apps#zoom.exe", 9, 7, u""},
        {u"C:#Apps#zoom.exe", 7, 9, u""},
        {u"C:#Apps#", 5, 0, u""},
        {u"C:#Apps#OrbeLune_Producer.EXE", 5, 0, u""},
        {u"C:#Apps#myorbelune.exe", 5, 0, u"myorbelune.exe"},
        {u"C:#Apps#teams.exe", 5, 0, u""},
        {u"C:#Apps#\u00c9cran.exe", 5, 0, u""},
        {u"C:#Apps#\u00e9CRAN.EXE", 5, 0, u"\u00e9cran.exe"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(DesktopConsumerKey(c.subkey, c.start, c.stop, running), c.key)
            << Ascii(c.subkey) << " " << c.start << " " << c.stop;
    }
    // A failed snapshot lets no desktop app through.
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps#zoom.exe", 5, 0, {}), u"");
    EXPECT_EQ(ExecutablePathFromSubkey(u"C:#Program Files#a.exe"), u"C:\\Program Files\\a.exe");
}

TEST(ConsentStoreTest, NonPackagedKeyInAnyLetterCase) {
    static const struct {
        std::u16string_view name;
        bool nonPackaged;
    } kCases[] = {
        {u"NonPackaged", true}, {u"nONPACKAGED", true},       {u"NonPackaged_x", false},
        {u"NonPackage", false}, {u"NonPa\u0441kaged", false},  // Cyrillic es
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsNonPackagedName(c.name), c.nonPackaged) << Ascii(c.name);
    }
}

}  // namespace
}  // namespace orbelune
