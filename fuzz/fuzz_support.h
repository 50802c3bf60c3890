// Harness side of the fuzz targets. The program sources are compiled for the targets with
// fopen, fclose and the file-system calls renamed to the stand-ins below (fuzz_renames.h),
// so that no fuzzed name reaches the real file system. The targets call the programs'
// functions, which return their status; an exit below them is a fault that libFuzzer
// reports.
#ifndef VELQUIN_FUZZ_SUPPORT_H
#define VELQUIN_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

// The file system the programs see, all in memory: the data file by its name (fuzz_begin),
// a second file when fuzz_add_file names one, and the name "unreadable", whose reads fail,
// open for reading; any other name to read is missing. A name to write or append opens a
// sink, except the empty name and a name with a "/" (a folder that does not exist), which
// fail, and the name "full", whose writes fail as on a full disk. Every stream is remembered
// until fuzz_fclose.
extern "C" FILE *fuzz_fopen(const char *name, const char *mode);
extern "C" int fuzz_fclose(FILE *fp);

// What the file system holds besides: the data file (a regular file), "unreadable", "old.crv"
// (an earlier output) and "readonly" (without write permission) are regular files, "full" a
// device like /dev/full and "folder" a folder; every other name is missing. A name opened
// with "x" in its mode is a temporary file of the program's, which it may change the mode of,
// rename onto another name or remove; touching any other file aborts, and so does a run that
// leaves a temporary file behind or renames one although it fails.
extern "C" int fuzz_stat(const char *name, struct stat *st);
extern "C" char *fuzz_realpath(const char *name, char *resolved);
extern "C" int fuzz_access(const char *name, int mode);
extern "C" int fuzz_chmod(const char *name, mode_t mode);
extern "C" int fuzz_rename(const char *from, const char *to);
extern "C" int fuzz_remove(const char *name);

// One part of a fuzz input. The parts are separated by NUL bytes; the last takes the rest
// of the input, NUL bytes included, and parts missing at the end are empty.
struct fuzz_part {
  const char *data;
  size_t size;
};

void fuzz_split(const uint8_t *data, size_t size, int count, fuzz_part *parts);

// Starts one run of a program. The words, one per line, follow the program name in *argv,
// each in a block of its own size; input becomes standard input; file_name opened for
// reading gives the bytes of file. Returns argc.
int fuzz_begin(const char *program, fuzz_part words, fuzz_part input, const char *file_name,
               fuzz_part file, char ***argv);

// Gives the run a second file to read, by the name name, with the bytes of file; the run
// that follows fuzz_begin has none unless this is called.
void fuzz_add_file(const char *name, fuzz_part file);

// Ends the run: closes every stream the program left open, gives back standard input and
// frees the words.
void fuzz_end(void);

// One run of a converter: the input is the command-line words after the program name, one
// per line, a NUL byte, the standard input that answers the name prompts, a NUL byte, and
// the content of the input file, which opens by the name "in.txt". reset gives the
// program's statics the zero state of a fresh process before run, which runs the program
// as its main does. Aborts unless the run returns status 0 or 1, or when a failed run
// renamed its temporary file onto the output.
void fuzz_run_converter(const uint8_t *data, size_t size, const char *program,
                        int (*run)(int, char **), void (*reset)(void));

#endif  // VELQUIN_FUZZ_SUPPORT_H
