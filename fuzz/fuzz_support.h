// What the fuzz targets share.
#pragma once

#include <cstdlib>

namespace orbelune {

// Ends the run when a property fails, so that libFuzzer keeps the input that broke it.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace orbelune

// The targets' entry points stand outside the namespace.
using orbelune::Require;
