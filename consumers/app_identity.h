// Turning an executable path or a package family name into the name shown for an application,
// and knowing which executables run.
//
// Case folding and blank detection follow the Windows C runtime in its default "C" locale on
// every platform, since the agent runs there: towlower and towupper change only ASCII letters,
// and iswspace accepts the ASCII blanks, U+00A0 and the Unicode space and separator characters.
// glibc answers some of these differently, so the rules are implemented here rather than asked
// of the host's runtime.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "common/text.h"

namespace orbelune {

// Display names of desktop apps by executable key, kept for the agent's lifetime: the first
// name resolved for a key stays. Keys compare unit by unit.
using DisplayNameCache = std::map<std::u16string, std::u16string, std::less<>>;

// The executable keys of the processes of one snapshot.
using RunningProcessNames = std::set<std::u16string, std::less<>>;

struct KnownApp {
    std::u16string_view key;
    std::u16string_view displayName;
};

// Well-known camera applications by executable key, searched in this order.
inline constexpr KnownApp kKnownDesktopApps[] = {
    {u"zoom.exe", u"Zoom"},
    {u"ms-teams.exe", u"Microsoft Teams"},
    {u"teams.exe", u"Microsoft Teams"},
    {u"chrome.exe", u"Google Chrome"},
    {u"msedge.exe", u"Microsoft Edge"},
    {u"firefox.exe", u"Firefox"},
    {u"brave.exe", u"Brave"},
    {u"opera.exe", u"Opera"},
    {u"discord.exe", u"Discord"},
    {u"slack.exe", u"Slack"},
    {u"obs64.exe", u"OBS Studio"},
    {u"obs32.exe", u"OBS Studio"},
    {u"skype.exe", u"Skype"},
    {u"webexmta.exe", u"Webex"},
    {u"ciscocollabhost.exe", u"Webex"},
    {u"vmix64.exe", u"vMix"},
    {u"telegram.exe", u"Telegram"},
    {u"whatsapp.exe", u"WhatsApp"},
    {u"signal.exe", u"Signal"},
};

// Well-known packaged applications by the lower-cased name part of the package family name.
inline constexpr KnownApp kKnownPackagedApps[] = {
    {u"msteams", u"Microsoft Teams"},
    {u"microsoftteams", u"Microsoft Teams"},
    {u"microsoft.windowscamera", u"Windows Camera"},
    {u"5319275a.whatsappdesktop", u"WhatsApp"},
};

// Trailing words that name a part of an application rather than the application.
inline constexpr std::u16string_view kStrippedSuffixWords[] = {
    u"helper", u"webhelper", u"agent", u"renderer", u"gpu",
};

// Version-resource strings, in the order tried.
inline constexpr std::u16string_view kVersionNameKeys[] = {u"FileDescription", u"ProductName"};
inline constexpr std::u16string_view kVersionTranslationQuery = u"\\VarFileInfo\\Translation";
// The string query is formatted into a buffer of this many units, terminator included.
inline constexpr size_t kVersionQueryUnits = 128;

// iswspace of the Windows C runtime.
bool IsWindowsSpace(char16_t unit);

// The file-name part of a path (after the last '\' or '/'), lower-cased; empty when the path
// ends in a separator.
std::u16string ExecutableKey(std::u16string_view path);

// The known display name of a desktop app, or none.
std::optional<std::u16string_view> KnownDesktopName(std::u16string_view key);

// "\StringFileInfo\<language><code page>\<key>" with four lower-case hex digits each, cut to
// fit the query buffer.
std::u16string VersionStringQuery(std::uint16_t language, std::uint16_t codePage,
                                  std::u16string_view key);

// A version-resource name without surrounding blanks, trailing parenthesised groups and
// trailing part words: "Zoom Meetings (64-bit)" gives "Zoom Meetings", "Example GPU Helper"
// gives "Example". May give an empty name.
std::u16string CleanVersionName(std::u16string_view name);

// The last resort: the key without its extension, first unit upper-cased ("tool.exe" gives
// "Tool"). Empty for ".exe".
std::u16string FileNameDisplayName(std::u16string_view key);

// The steps of resolving a desktop app's name that read no file: the cached name (also an empty
// one), else a known name, which is then cached. None when the version resource is needed.
std::optional<std::u16string> ResolveWithoutFile(DisplayNameCache& cache, std::u16string_view key);

// Finishes a resolution that needed the version resource: the cleaned version name, else the
// file-name name. Caches and returns it.
std::u16string ResolveFromVersionName(DisplayNameCache& cache, std::u16string_view key,
                                      std::u16string_view versionName);

// The display name of a known packaged app, or none.
std::optional<std::u16string_view> LookupPackagedName(std::u16string_view packageFamilyName);

// The name part of a package family name (before its first '_'), without the vendor prefix up
// to its last '.': "Vendor.Product_abc" gives "Product".
std::u16string DerivePackageName(std::u16string_view packageFamilyName);

}  // namespace orbelune
