// Which applications are using a camera right now, according to the current user's webcam
// consent store. Every application that has used a camera has a key there with the QWORD values
// LastUsedTimeStart and LastUsedTimeStop; desktop apps sit under NonPackaged, named by their
// executable path with '#' for '\', packaged apps directly under the webcam key, named by their
// package family name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "consumers/app_identity.h"
#include "consumers/consumer_record.h"

namespace orbelune {

// Under HKEY_CURRENT_USER; nothing else is read.
inline constexpr std::u16string_view kWebcamKeyPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore\\webcam";
inline constexpr std::u16string_view kNonPackagedKeyPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore\\webcam"
    u"\\NonPackaged";
inline constexpr std::u16string_view kNonPackagedKeyName = u"NonPackaged";
inline constexpr std::u16string_view kLastUsedTimeStartValue = u"LastUsedTimeStart";
inline constexpr std::u16string_view kLastUsedTimeStopValue = u"LastUsedTimeStop";
// Subkey names are enumerated into a buffer of this many units.
inline constexpr std::uint32_t kSubkeyNameUnits = 512;

// Executables of our own product, the producer among them, never count as consumers.
inline constexpr std::u16string_view kOwnProductPrefix = u"orbelune";

// An application is using a camera when its use has started and not stopped. Values that are
// missing, of another type or unreadable are passed as 0. No times are compared.
bool IsInUse(std::uint64_t lastUsedStart, std::uint64_t lastUsedStop);

// The executable path a NonPackaged subkey stands for: every '#' turned back into '\'.
std::u16string ExecutablePathFromSubkey(std::u16string_view subkeyName);

// Whether an executable key is one of our own product's.
bool IsOwnProductKey(std::u16string_view key);

// Whether a subkey directly under the webcam key is the NonPackaged key, in any letter case.
bool IsNonPackagedName(std::u16string_view subkeyName);

// The executable key under which a NonPackaged subkey counts as a consumer, or empty when it is
// skipped: not in use, no file name, our own product, or no such process running.
std::u16string DesktopConsumerKey(std::u16string_view subkeyName, std::uint64_t lastUsedStart,
                                  std::uint64_t lastUsedStop, const RunningProcessNames& running);

// The display name of a packaged app: a known one, else one derived from its name.
std::u16string PackagedDisplayName(std::u16string_view packageFamilyName);

}  // namespace orbelune
