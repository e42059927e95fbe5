// SPDX-License-Identifier: GPL-3.0-or-later
// A promise a fuzz target checks: a broken one ends the run with the
// promise, as a crash libFuzzer keeps.
#pragma once

#include <cstdio>
#include <cstdlib>

#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
