#pragma once

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input: a broken one aborts, which the fuzzer reports with
// the input and the replay test counts as a failure.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
