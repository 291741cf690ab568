// A system error code described with the system's own message for it.
#pragma once

#include <cstdint>
#include <string>

namespace orbelune {

// SystemErrorText with the system's own message for the code.
std::u16string DescribeSystemError(std::uint32_t code);

}  // namespace orbelune
