// The text of a system error code, as the agent's log and the control tool write it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orbelune {

// The code in decimal, then " (text)" when the system's text for it is not empty once
// trailing CR, LF and spaces are removed.
std::u16string SystemErrorText(std::uint32_t code, std::u16string_view systemMessage);

}  // namespace orbelune
