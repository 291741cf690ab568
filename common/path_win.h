// Where the running executable lies, as Windows tells it.
#pragma once

#include <string>

namespace orbelune {

// The full path of the running executable, and its folder; empty when the path cannot be had.
std::u16string ModulePath();
std::u16string ModuleDirectory();

}  // namespace orbelune
