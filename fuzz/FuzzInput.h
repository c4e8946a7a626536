#pragma once
// Shared by the fuzz targets: the input as Qt bytes and a check that stops
// the run (and so makes libFuzzer keep the input) when a property fails.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline QByteArray FuzzBytes(const std::uint8_t* Data, std::size_t Size)
{
    return QByteArray(reinterpret_cast<const char*>(Data), qsizetype(Size));
}

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);                 \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)
