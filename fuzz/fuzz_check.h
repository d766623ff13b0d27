#pragma once
// FUZZ_CHECK: a property every input must keep. A broken one prints what broke and aborts, so
// libFuzzer stores the input as a crash. For the fuzz targets only (single-threaded).

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)
