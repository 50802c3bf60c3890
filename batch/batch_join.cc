// The checked join of part tables. A part that a killed or failed task cut short, or one
// of another model, would pass through cat or awk into a table that looks whole; here it
// stops the join, and no output appears.
#include "batch_join.h"

#include <stdio.h>
#include <string.h>

#include "batch_table.h"
#include "files.h"
#include "models.h"
#include "show_err.h"

enum {
  COPY_SIZE = 1 << 16,
  PART_REFUSED = 0,  // copy_part: after a framed report
  PART_COPIED = 1,
  OUTPUT_FAILED = 2,  // a write to the output failed, not yet reported
};

static beside_file joined;
static char firstHeader[ROW_SIZE + 1];
static char copyBuf[COPY_SIZE];

static int join_error(const char *message) {
  show_err(ERR_FATAL, "join_tables", message);
  return 0;
}

// Whether line, line feed included, is the header that table_header writes for a model.
static int is_table_header(const char *line) {
  char header[ROW_SIZE];
  size_t len = strlen(line);
  for (int model = 0; model <= LAST_MODEL; model++) {
    int n = table_header(header, sizeof header, model);  // not NUL-terminated
    if (n > 0 && (size_t)n == len && memcmp(header, line, len) == 0) return 1;
  }
  return 0;
}

// What is wrong with the first line of a part, which read_whole_line read into line with
// result got, or an empty msg when it is the header it must be: any table's for the first
// part, the first part's for the others.
static void check_header(char *msg, int size, const char *path, const char *line, int got,
                         int index, const char *first) {
  size_t len = strlen(line);
  msg[0] = '\0';
  if (got == LINE_ERROR) {
    snprintf(msg, size, "Unable to read part table %s\n", path);
  } else if (got == LINE_END) {
    snprintf(msg, size, "Part table %s is empty\n", path);
  } else if (got == LINE_READ && line[len - 1] != '\n') {
    snprintf(msg, size, "Part table %s is not whole: its last line has no line feed\n", path);
  } else if (got != LINE_READ || !is_table_header(line)) {
    snprintf(msg, size, "Part table %s does not begin with the header of a velbatch table\n", path);
  } else if (index > 0 && strcmp(line, firstHeader) != 0) {
    snprintf(msg, size, "Part table %s has another header than %s\n", path, first);
  }
}

// Copies part index, the table at path, to out: its header for the first part only, then
// its rows as they stand. Returns PART_COPIED, PART_REFUSED or OUTPUT_FAILED.
static int copy_part(FILE *out, const char *path, int index, const char *first) {
  char msg[MESSAGE_SIZE + 2 * NAME_SIZE];
  FILE *fp = fopen(path, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open part table %s\n", path);
    return join_error(msg);
  }
  char line[ROW_SIZE + 1];
  int len = 0;
  long long taken = 0;
  int got = read_whole_line(fp, line, sizeof line, &len, &taken, NULL);
  check_header(msg, sizeof msg, path, line, got, index, first);
  int result = msg[0] == '\0' ? PART_COPIED : PART_REFUSED;
  if (result == PART_COPIED && index == 0) {
    memcpy(firstHeader, line, sizeof firstHeader);
    if (fputs(line, out) == EOF) result = OUTPUT_FAILED;
  }
  // The last byte of the part tells whether its last row is whole.
  char last = '\n';
  size_t n = 0;
  while (result == PART_COPIED && (n = fread(copyBuf, 1, sizeof copyBuf, fp)) > 0) {
    last = copyBuf[n - 1];
    if (fwrite(copyBuf, 1, n, out) != n) result = OUTPUT_FAILED;
  }
  if (result == PART_COPIED && ferror(fp)) {
    snprintf(msg, sizeof msg, "Unable to read part table %s\n", path);
    result = PART_REFUSED;
  } else if (result == PART_COPIED && last != '\n') {
    snprintf(msg, sizeof msg, "Part table %s is not whole: its last line has no line feed\n", path);
    result = PART_REFUSED;
  }
  fclose(fp);
  if (result == PART_REFUSED) join_error(msg);
  return result;
}

int join_tables(const char *outPath, char *const *parts, int count) {
  char msg[MESSAGE_SIZE + 2 * NAME_SIZE];
  if (strlen(outPath) > NAME_SIZE - 1) {
    snprintf(msg, sizeof msg, "File name too long: %s\n", outPath);
    return join_error(msg);
  }
  for (int i = 0; i < count; i++) {
    if (same_file(outPath, parts[i])) {
      snprintf(msg, sizeof msg, "Output file %s is the part table %s\n", outPath, parts[i]);
      return join_error(msg);
    }
  }
  fill_catalogue();
  FILE *out = open_beside(&joined, outPath);
  if (out == NULL) {
    snprintf(msg, sizeof msg, "Unable to open output file %s", outPath);
    return join_error(msg);
  }
  int result = PART_COPIED;
  for (int i = 0; i < count && result == PART_COPIED; i++) {
    result = copy_part(out, parts[i], i, parts[0]);
  }
  if (!close_checked(out) && result == PART_COPIED) result = OUTPUT_FAILED;
  if (result == PART_COPIED && !commit_beside(&joined)) result = OUTPUT_FAILED;
  discard_beside(&joined);
  if (result == OUTPUT_FAILED) {
    snprintf(msg, sizeof msg, "Unable to write output file %s", outPath);
    return join_error(msg);
  }
  return result == PART_COPIED;
}
