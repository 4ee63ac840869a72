// What the harnesses share: a check that ends the run like a crash, so
// libFuzzer keeps the input and the replay test fails on it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz
