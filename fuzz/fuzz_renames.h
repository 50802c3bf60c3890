// Forced at the head of every program source compiled into a fuzz target: fopen, fclose and
// the calls that look at or change the file system (stat, realpath, access, chmod, rename,
// remove) become the harness's stand-ins of the same name with "fuzz_" in front. The C++
// library's headers undefine macros of those names or name them in std, so they come first,
// and their include guards keep the programs' own includes from undoing the renaming. stat
// is renamed only where it is called, so that "struct stat" stays.
#ifndef VELQUIN_FUZZ_RENAMES_H
#define VELQUIN_FUZZ_RENAMES_H

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"

#define fopen fuzz_fopen
#define fclose fuzz_fclose
#define stat(name, buf) fuzz_stat(name, buf)
#define realpath fuzz_realpath
#define access fuzz_access
#define chmod fuzz_chmod
#define rename fuzz_rename
#define remove fuzz_remove

#endif  // VELQUIN_FUZZ_RENAMES_H
