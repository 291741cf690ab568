// The consent-store scan, and the registry enumeration it walks with.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "consumers/app_identity.h"
#include "consumers/consumer_record.h"

namespace orbelune {

// The applications using a camera right now: desktop apps first, then packaged apps, each in
// enumeration order. Desktop apps count only while a process of their executable runs. Never
// fails; a key that cannot be read contributes nothing.
std::vector<ConsumerRecord> ScanConsentStore(DisplayNameCache& displayNames) noexcept;

// The names of the direct subkeys of `root`\`path`, in enumeration order; empty when the key
// cannot be opened. An enumeration that fails midway gives the names seen so far.
std::vector<std::u16string> ListSubkeys(HKEY root, std::u16string_view path) noexcept;

}  // namespace orbelune
