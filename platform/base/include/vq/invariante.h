#pragma once
// An internal rule whose breaking would corrupt memory rather than fail: checked in every
// build (unlike assert, which release builds drop), and a broken one stops the process
// at once, naming the rule and the place.

#include <cstdio>
#include <cstdlib>

#define VQ_INVARIANTE(condizione)                                                           \
    do {                                                                                    \
        if (!(condizione)) [[unlikely]] {                                                   \
            std::fprintf(stderr, "%s:%d: regola interna violata: %s\n", __FILE__, __LINE__, \
                         #condizione);                                                      \
            std::abort();                                                                   \
        }                                                                                   \
    } while (false)
