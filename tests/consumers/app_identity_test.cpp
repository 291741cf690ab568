#include "consumers/app_identity.h"

#include <gtest/gtest.h>

#include "consumers/consent_store.h"

namespace orbelune {
namespace {

std::string Ascii(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(AppIdentityTest, CleanVersionName) {
    static const struct {
        std::u16string_view name, cleaned;
    } kCases[] = {
        {u"Zoom Meetings (64-bit)", u"Zoom Meetings"},
        {u"Example Helper (Renderer)", u"Example"},
        {u"App HELPER webHelper Agent gpu", u"App"},
        {u"App (x64) Renderer (beta)", u"App"},
        {u"Helper", u"Helper"},
        {u"(Beta)", u""},
        {u"   ", u""},
        // Cut at the last '(' only; a ')' with no '(' stays, and so do words that merely
        // contain a part word.
        {u"App (outer (inner))", u"App (outer"},
        {u"App 64)", u"App 64)"},
        {u"App Helpers", u"App Helpers"},
        // Windows blanks (U+00A0, U+3000 among them) are trimmed, but only U+0020 separates
        // the last word.
        {u"\u00a0\tCam Tool\u3000\r\n", u"Cam Tool"},
        {u"Cam\u00a0Helper", u"Cam\u00a0Helper"},
        {u"Cam Helper\u00a0", u"Cam"},
        {u"Cam\u2000(x64)", u"Cam"},
        {u"\u2000Cam\u200a", u"Cam"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(CleanVersionName(c.name), c.cleaned) << Ascii(c.name);
    }
}

TEST(AppIdentityTest, DesktopNames) {
    static const struct {
        std::u16string_view path, key, name;
    } kCases[] = {
        {u"C:\\Program Files\\Zoom\\bin\\Zoom.exe", u"zoom.exe", u"Zoom"},
        {u"C:\\Apps/mixed\\My.Tool.EXE", u"my.tool.exe", u"My.tool"},
        {u"noextension", u"noextension", u"Noextension"},
        {u"C:\\Apps\\.exe", u".exe", u""},
        {u"C:\\Apps\\", u"", u""},
        // Only ASCII letters change case.
        {u"C:\\\u00c9cran.exe", u"\u00c9cran.exe", u"\u00c9cran"},
        {u"C:\\\u00e9cran.exe", u"\u00e9cran.exe", u"\u00e9cran"},
    };
    for (const auto& c : kCases) {
        const std::u16string key = ExecutableKey(c.path);
        EXPECT_EQ(key, c.key) << Ascii(c.path);
        EXPECT_EQ(FileNameDisplayName(key), c.name) << Ascii(c.path);
    }

    DisplayNameCache cache;
    // Known applications need no file, and their names are not cleaned.
    EXPECT_EQ(ResolveWithoutFile(cache, u"ms-teams.exe"), u"Microsoft Teams");
    EXPECT_EQ(ResolveWithoutFile(cache, u"signal.exe"), u"Signal");
    EXPECT_EQ(ResolveWithoutFile(cache, u"ZOOM.EXE"), std::nullopt);
    EXPECT_EQ(ResolveFromVersionName(cache, u"app.exe", u"Sample GPU Helper"), u"Sample");
    EXPECT_EQ(ResolveFromVersionName(cache, u"tool.exe", u"(Beta)"), u"Tool");
    EXPECT_EQ(ResolveFromVersionName(cache, u".exe", u""), u"");
    // The first name of a key stays, an empty one included.
    EXPECT_EQ(ResolveWithoutFile(cache, u"app.exe"), u"Sample");
    EXPECT_EQ(ResolveWithoutFile(cache, u".exe"), u"");
    EXPECT_EQ(cache.size(), 5u);

    EXPECT_EQ(VersionStringQuery(0x0409, 0x04B0, u"FileDescription"),
              u"\\StringFileInfo\\040904b0\\FileDescription");
    // Cut to the 127 units that fit the buffer before its terminator.
    EXPECT_EQ(VersionStringQuery(0x0007, 0xFFFF, std::u16string(200, u'k')),
              u"\\StringFileInfo\\0007ffff\\" + std::u16string(102, u'k'));
}

TEST(AppIdentityTest, PackagedNames) {
    static const struct {
        std::u16string_view packageFamilyName;
        bool known;
        std::u16string_view display;
    } kCases[] = {
        {u"MSTeams_8wekyb3d8bbwe", true, u"Microsoft Teams"},
        {u"microsoftteams_x", true, u"Microsoft Teams"},
        {u"Microsoft.WindowsCamera_8wekyb3d8bbwe", true, u"Windows Camera"},
        {u"5319275A.WhatsAppDesktop_cv1g1gvanyjgm", true, u"WhatsApp"},
        {u"msteams", true, u"Microsoft Teams"},
        {u"MSTeamsX_8wekyb3d8bbwe", false, u"MSTeamsX"},
        {u"Vendor.Product_abc123", false, u"Product"},
        {u"A.B.C_x.y", false, u"C"},
        {u"Plainname", false, u"Plainname"},
        {u"Vendor._abc", false, u"Vendor."},
        // Only ASCII letters fold: U+0130 is no 'i' here, whatever Unicode says.
        {u"M\u0130crosoftTeams_x", false, u"M\u0130crosoftTeams"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(LookupPackagedName(c.packageFamilyName).has_value(), c.known)
            << Ascii(c.packageFamilyName);
        EXPECT_EQ(PackagedDisplayName(c.packageFamilyName), c.display)
            << Ascii(c.packageFamilyName);
    }
}

TEST(ConsentStoreTest, WhichDesktopAppsCount) {
    const RunningProcessNames running = {u"zoom.exe", u"orbelune_producer.exe", u"myorbelune.exe",
                                         u"orbelun.exe", u"\u00e9cran.exe"};
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
        {u"C:#Apps#OrbeLune_Producer.EXE", 5, 0, u""},  // our own, in any letter case
        {u"C:#Apps#myorbelune.exe", 5, 0, u"myorbelune.exe"},
        {u"C:#Apps#orbelun.exe", 5, 0, u"orbelun.exe"},
        {u"C:#Apps#teams.exe", 5, 0, u""},  // not running
        {u"C:#Apps#\u00c9cran.exe", 5, 0, u""},
        {u"C:#Apps#\u00e9CRAN.EXE", 5, 0, u"\u00e9cran.exe"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(DesktopConsumerKey(c.subkey, c.start, c.stop, running), c.key)
            << Ascii(c.subkey) << " " << c.start << " " << c.stop;
    }
    EXPECT_EQ(DesktopConsumerKey(u"C:#Apps#zoom.exe", 5, 0, {}), u"");  // a failed snapshot
    EXPECT_EQ(ExecutablePathFromSubkey(u"C:#Program Files#a.exe"), u"C:\\Program Files\\a.exe");
    for (const auto& [name, nonPackaged] : {std::pair{u"NonPackaged", true},
                                            {u"nONPACKAGED", true},
                                            {u"NonPackaged_x", false},
                                            {u"NonPackage", false},
                                            {u"NonPa\u0441kaged", false}}) {  // a Cyrillic es
        EXPECT_EQ(IsNonPackagedName(name), nonPackaged) << Ascii(name);
    }
}

}  // namespace
}  // namespace orbelune
