// Files as every program of the suite meets them: whether two names are one file, whether
// an input can be read twice, the one whole-line reader, the checked open and close of an
// output, and an output written beside its place that takes its name only when whole.
#ifndef VELQUIN_FILES_H
#define VELQUIN_FILES_H

#include <stdio.h>

#include "capacities.h"

enum {
  PATH_SIZE = 4096,                 // a path with its links resolved, and its terminator
  TEMP_NAME_SIZE = PATH_SIZE + 64,  // that path's folder and a temporary file's name in it
  TEMP_TRIES = 100,                 // names tried before the folder counts as unwritable
};

// Whether the files at paths a and b are one and the same (device and inode); 0 when
// either does not exist.
int same_file(const char *a, const char *b);

// Whether the open file fp, named kind ("Data", "Starts", "Table") and path, can be read
// again from its start, as a file can and a pipe cannot. Returns 1, or 0 after a fatal
// framed report from module. fp stays open either way.
int can_read_twice(FILE *fp, const char *kind, const char *path, const char *module);

// Results of read_whole_line.
enum {
  LINE_READ,      // a whole line is in the buffer
  LINE_TOO_LONG,  // a line longer than the buffer, consumed to its end; its start is kept
  LINE_ERROR,     // the file cannot be read on, perhaps in the middle of a line
  LINE_END,       // the file has ended; nothing was read
};

// Reads the next line of fp whole, line feed included: its first size - 1 bytes into buf,
// terminated, *len of them (a damaged file's NUL bytes among them), and *taken the bytes
// it takes in the file. Every byte of the line also goes to echo unless echo is NULL.
// Lines are never split: a piece of a line read as a line of its own would pass for data.
int read_whole_line(FILE *fp, char *buf, int size, int *len, long long *taken, FILE *echo);

// The same from the bytes in memory from *at up to end (a mapped file), *at moved past the
// line: read_whole_line's results, lengths and bytes for the same bytes; never LINE_ERROR.
int read_whole_line_mem(const char **at, const char *end, char *buf, int size, int *len,
                        long long *taken);

// Skips a UTF-8 byte order mark at the current place of fp, the start of a file, as
// spreadsheet programs write one at the start of their exports. Returns the bytes skipped:
// 3, or 0 when there is none (what was read to tell is put back).
int skip_bom(FILE *fp);

// The same at *at, the start of a file's bytes in memory that end at end: *at moved past a
// mark. Returns the bytes skipped.
int skip_bom_mem(const char **at, const char *end);

// The one checked open and close of an output file. open_output returns NULL, and
// close_output 0, after a fatal report naming module; a failed write anywhere before the
// close is caught there, so a full disk never passes for a whole report.
FILE *open_output(const char *fname, const char *mode, const char *module);
int close_output(FILE *fp, const char *fname, const char *module);

// Closes fp: 1 when every write to it and the close succeeded. Prints nothing.
int close_checked(FILE *fp);

// An output stream that writes into a buffer of the caller's: a write past its end fails,
// as on a full disk, which close_checked finds.
struct mem_output {
  char *buf;
  size_t size, len;
};
FILE *open_mem_output(mem_output *m, char *buf, size_t size);

// An output written as a temporary file in the folder of its target and renamed onto it
// when whole, so that it appears whole or not at all and an earlier file stays as it was.
struct beside_file {
  char target[PATH_SIZE];     // the file that the output becomes, its links resolved
  char temp[TEMP_NAME_SIZE];  // the temporary file; empty while there is none
};

// Opens for writing a new temporary file beside name, a regular file or a name still free
// in an existing folder. A present file keeps its permissions and, through a link, its
// place; a new one gets those of a plain create. Returns the stream, or NULL with nothing
// made: a folder or device at name, a file without write permission, a missing folder.
FILE *open_beside(beside_file *b, const char *name);

// Renames the temporary file onto its target: 1, or 0 with the temporary file removed.
int commit_beside(beside_file *b);

// Removes the temporary file, if there is one. Safe to call again.
void discard_beside(beside_file *b);

#endif  // VELQUIN_FILES_H
