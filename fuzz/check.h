#pragma once
// Shared by the fuzz targets; included after every other header.

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

// Each target is one file, so this is defined once in each program.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The path rule needs a data directory; nothing is made there.
    qputenv("XDG_DATA_HOME", "/nonexistent/fuzz");
    return 0;
}

// Says which property failed, then stops the fuzzer with the input at hand.
#define check(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
