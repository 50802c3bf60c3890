// Forced at the head of every program source compiled into a fuzz target: exit, fopen and
// fclose become the harness's fuzz_exit, fuzz_fopen and fuzz_fclose. The C++ library's
// headers undefine macros of those names and name std::exit, so they come first, and
// their include guards keep the programs' own includes from undoing the renaming.
#ifndef VELQUIN_FUZZ_RENAMES_H
#define VELQUIN_FUZZ_RENAMES_H

#include <stdio.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"

#define exit fuzz_exit
#define fopen fuzz_fopen
#define fclose fuzz_fclose

#endif  // VELQUIN_FUZZ_RENAMES_H
