// The starts file of a batch. Only each dataset's place in the file is kept: its line is
// read again, and checked again, when the dataset's fit starts.
#include "batch_starts.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>

#include "batch_args.h"
#include "batch_ids.h"
#include "files.h"
#include "show_err.h"

enum {
  ID_STARTS = 1,  // startsIds: a line of the starts file
  ID_MET = 2,     // a line whose dataset the batch has
};

// The starts file, kept open: where each dataset's line begins. Only the main process reads
// it, so the offset it shares with the workers after a fork is its own.
static FILE *startsFp;
static const char *startsPath;
static int startsModel;
static id_table startsIds;
static long long startsOffset[ID_SLOTS];
static int startsLine[ID_SLOTS];

void reset_starts(void) {
  if (startsFp != NULL) fclose(startsFp);
  startsFp = NULL;
  clear_table(&startsIds);
}

void starts_met(int id) {
  int s = startsFp != NULL ? id_slot(&startsIds, id, 0) : -1;
  if (s >= 0) startsIds.state[s] = ID_MET;
}

// The words of a starts line, split in place at blanks, tabs, carriage returns and line
// feeds. Returns how many, at most max.
static int split_words(char *line, char **words, int max) {
  int n = 0;
  char *save = NULL;
  for (char *w = strtok_r(line, " \t\r\n", &save); w != NULL && n < max;
       w = strtok_r(NULL, " \t\r\n", &save)) {
    words[n++] = w;
  }
  return n;
}

// A dataset id of a starts line: an integer within the int range, and nothing else.
static int starts_id(const char *word, int *id) {
  const char *p = word;
  return list_id(&p, id) && *p == '\0';
}

static int starts_error(const char *message) {
  show_err(ERR_FATAL, "load_starts", message);
  return 0;
}

static char startsMsg[MESSAGE_SIZE + STARTS_LINE_SIZE];  // a message naming a word of a line

// Every word of a line fits: one a character and its separator.
static char *startsWords[STARTS_LINE_SIZE / 2 + 1];

// What is wrong with the parameters of a starts line, line lineNo, words[1] to words[n - 1],
// into msg; empty when they are model's.
static void check_start_parms(char *msg, int size, int lineNo, char **words, int n) {
  double params[MAX_PARMS];
  int held[MAX_PARMS];
  int wrong = read_parms(words + 1, n - 1, startsModel, params, held);
  msg[0] = '\0';
  if (wrong == PARMS_READ) return;
  int len = snprintf(msg, (size_t)size, "Line %d of starts file %s: ", lineNo, startsPath);
  if (wrong == PARMS_TOO_MANY) {
    len += parm_count_text(msg + len, size - len, startsModel, n - 1);
    snprintf(msg + len, (size_t)(size - len), "\n");
    return;
  }
  char label[NAME_SIZE];
  parm_name(label, sizeof label, startsModel, wrong);
  snprintf(msg + len, (size_t)(size - len), "word %d (parameter %s) is not a number: %s\n",
           wrong + 2, label, words[wrong + 1]);
}

// What is wrong with line lineNo of the starts file, read as got, into msg, empty when
// nothing is; *id its dataset. Returns 0 for a line that names no dataset: a comment, blanks.
static int check_start_line(char *msg, int size, char *line, int got, int lineNo, int *id) {
  msg[0] = '\0';
  if (line[0] == '#' || line[0] == '!') return 0;  // a comment may be of any length
  int n = 0;
  if (got == LINE_TOO_LONG) {
    snprintf(msg, (size_t)size, "Line %d of starts file %s is too long\n", lineNo, startsPath);
  } else if ((n = split_words(line, startsWords, STARTS_LINE_SIZE / 2 + 1)) == 0) {
    return 0;
  } else if (!starts_id(startsWords[0], id)) {
    snprintf(msg, (size_t)size, "Line %d of starts file %s does not begin with a dataset id\n",
             lineNo, startsPath);
  } else {
    check_start_parms(msg, size, lineNo, startsWords, n);
  }
  return 1;
}

// Notes that dataset id's values stand on line lineNo, which begins at offset at; what keeps
// them out goes into msg, left as it is otherwise.
static void note_start(char *msg, int size, int id, long long at, int lineNo) {
  int s = id_slot(&startsIds, id, 1);
  if (s < 0) {
    snprintf(msg, (size_t)size, "More than %d dataset ids in starts file %s\n", MAX_IDS,
             startsPath);
  } else if (startsIds.state[s] != SLOT_EMPTY) {
    snprintf(msg, (size_t)size, "Line %d of starts file %s repeats dataset %d\n", lineNo,
             startsPath, id);
  } else {
    startsIds.state[s] = ID_STARTS;
    startsOffset[s] = at;
    startsLine[s] = lineNo;
  }
}

// Reads and checks every line of the starts file fp, noting where each dataset's begins.
// Returns 1, or 0 after a framed report.
static int read_starts(FILE *fp) {
  char line[STARTS_LINE_SIZE];
  long long offset = skip_bom(fp), len = 0;  // the mark is no line: line 1 follows it
  int lineNo = 0, got, kept;
  while ((got = read_whole_line(fp, line, sizeof line, &kept, &len, NULL)) != LINE_END &&
         got != LINE_ERROR) {
    lineNo++;
    long long at = offset;
    offset += len;
    int id = 0;
    if (!check_start_line(startsMsg, sizeof startsMsg, line, got, lineNo, &id)) continue;
    if (startsMsg[0] == '\0') note_start(startsMsg, sizeof startsMsg, id, at, lineNo);
    if (startsMsg[0] != '\0') return starts_error(startsMsg);
  }
  if (ferror(fp)) {
    snprintf(startsMsg, sizeof startsMsg, "Unable to read starts file %s\n", startsPath);
    return starts_error(startsMsg);
  }
  return 1;
}

int load_starts(const char *path, int model) {
  startsPath = path;
  startsModel = model;
  FILE *fp = fopen(path, "r");
  if (fp == NULL) {
    snprintf(startsMsg, sizeof startsMsg, "Unable to open starts file %s\n", path);
    return starts_error(startsMsg);
  }
  // Each dataset's line is read again when its fit starts: a pipe cannot give it twice.
  if (!can_read_twice(fp, "Starts", path, "load_starts") || !read_starts(fp)) {
    fclose(fp);
    return 0;
  }
  startsFp = fp;
  return 1;
}

int starts_for(int id, double *params, int *held) {
  if (startsFp == NULL) return 0;
  int s = id_slot(&startsIds, id, 0);
  if (s < 0) return 0;
  char line[STARTS_LINE_SIZE];
  size_t got = 0;
  if (fseeko(startsFp, (off_t)startsOffset[s], SEEK_SET) == 0) {
    got = fread(line, 1, sizeof line - 1, startsFp);
  }
  line[got] = '\0';
  char *nl = strchr(line, '\n');
  if (nl != NULL) *nl = '\0';
  int n = split_words(line, startsWords, STARTS_LINE_SIZE / 2 + 1);
  // The line was checked as it was loaded: a line that reads otherwise now has changed.
  if (n == 0 || read_parms(startsWords + 1, n - 1, startsModel, params, held) != PARMS_READ) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof startsMsg, "Unable to read starts file %s\n", startsPath);
    starts_error(msg);
    return -1;
  }
  return 1;
}

int starts_unused(int *line, int *id) {
  int count = 0, first = INT_MAX;
  // A table of few ids has noted each of its slots; a larger one is searched whole.
  int all = startsIds.count > NOTED_SLOTS;
  for (int k = 0; k < (all ? ID_SLOTS : startsIds.count); k++) {
    int s = all ? k : startsIds.noted[k];
    if (startsIds.state[s] != ID_STARTS) continue;
    count++;
    if (startsLine[s] < first) {
      first = startsLine[s];
      *line = startsLine[s];
      *id = startsIds.key[s];
    }
  }
  return count;
}
