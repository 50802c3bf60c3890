// The datasets of a batch and their starting values. The data file is read once, from the
// top, by the same scan that velquin's reader searches with, so a batch finds exactly the
// datasets that velquin can select, with the same line numbers.
#include "batch_index.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "cli.h"
#include "files.h"
#include "show_err.h"

// A set of ids with open addressing; each slot may carry a value in a table of its user.
// The first slots taken are noted, so that a table of few ids is cleared without touching
// all of its pages.
enum { NOTED_SLOTS = 1024 };
struct id_table {
  int key[ID_SLOTS];
  unsigned char state[ID_SLOTS];  // 0: empty; then a mark of the table's user
  int count;
  int noted[NOTED_SLOTS];
};

enum { SLOT_EMPTY = 0, ID_SEEN = 1, ID_REPEATED = 2, ID_LISTED = 1, ID_FOUND = 2 };

// Fibonacci hashing spreads any pattern of ids, runs of neighbours included.
static unsigned id_hash(int id) { return ((unsigned)id * 2654435769u) >> (32 - 22); }
static_assert(ID_SLOTS == 1 << 22, "the hash gives 22 bits");

// The slot of id, or, when insert is set, a new empty slot for it; -1 when id is absent
// or the table already holds MAX_IDS ids.
static int id_slot(id_table *t, int id, int insert) {
  for (unsigned s = id_hash(id);; s = (s + 1) & (ID_SLOTS - 1)) {
    if (t->state[s] == SLOT_EMPTY) {
      if (!insert || t->count >= MAX_IDS) return -1;
      t->key[s] = id;
      if (t->count < NOTED_SLOTS) t->noted[t->count] = (int)s;
      t->count++;
      return (int)s;
    }
    if (t->key[s] == id) return (int)s;
  }
}

static void clear_table(id_table *t) {
  if (t->count > NOTED_SLOTS) {
    memset(t->state, 0, sizeof t->state);
  } else {
    for (int i = 0; i < t->count; i++) t->state[t->noted[i]] = SLOT_EMPTY;
  }
  t->count = 0;
}

// The scan of the data file.
static FILE *dataFp;
static const char *dataPath;
static crv_scan scan;
static int scanStarted;  // a line that is neither a comment nor empty has been met
static int scanDone;
static int longLine;   // the first line the reader refuses as too long, or 0
static int scanCount;  // datasets handed out
static long long dataSize;  // bytes of the data file, when it has a size
static id_table seenIds;
static int repeatedCount;
static int repeatedIds[MAX_SHOWN_DUPLICATES];

// The --ids list, and the places of its ids once the scan has found them.
static int rangeFrom[MAX_ID_RANGES], rangeTo[MAX_ID_RANGES];
static int rangeCount;
static int listMode;
static int listRange;       // the range being handed out
static long long listNext;  // the next id of that range
static int listTotal;
static id_table listedIds;
static batch_dataset listedPlace[ID_SLOTS];

// The starts file, kept open: where each dataset's line begins. Only the main process reads
// it, so the offset it shares with the workers after a fork is its own.
static FILE *startsFp;
static const char *startsPath;
static id_table startsIds;
static long long startsOffset[ID_SLOTS];

void reset_index(void) {
  if (dataFp != NULL) fclose(dataFp);
  dataFp = NULL;
  scanStarted = scanDone = longLine = scanCount = 0;
  clear_table(&seenIds);
  repeatedCount = 0;
  rangeCount = listMode = listRange = listTotal = 0;
  listNext = 0;
  clear_table(&listedIds);
  if (startsFp != NULL) fclose(startsFp);
  startsFp = NULL;
  clear_table(&startsIds);
}

static int too_many_ids(void) {
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "More than %d dataset ids in data file %s\n", MAX_IDS, dataPath);
  show_err(ERR_FATAL, "index_datasets", msg);
  return -1;
}

// Reads one id of an --ids list; 0 unless it is an integer within the int range.
static int list_id(const char **p, int *id) {
  char *end;
  errno = 0;
  long v = strtol(*p, &end, 10);
  if (end == *p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return 0;
  *id = (int)v;
  *p = end;
  return 1;
}

int parse_id_list(const char *text) {
  const char *p = text;
  long long total = 0;
  rangeCount = 0;
  for (;;) {
    int from = 0, to = 0;
    int ok = *p != ' ' && list_id(&p, &from);
    to = from;
    if (ok && *p == '-') {
      p++;
      ok = *p != ' ' && list_id(&p, &to) && to >= from;
    }
    ok = ok && (*p == ',' || *p == '\0') && rangeCount < MAX_ID_RANGES;
    if (ok) total += (long long)to - from + 1;
    if (!ok || total > MAX_IDS) {
      char msg[MESSAGE_SIZE];
      if (ok) {
        snprintf(msg, sizeof msg, "The id list names more than %d datasets\n", MAX_IDS);
      } else {
        snprintf(msg, sizeof msg, "Invalid id list %.*s: ids and ranges such as 3,7,10-20\n",
                 MESSAGE_SIZE - 64, text);
      }
      show_err(ERR_FATAL, "get_batch_args", msg);
      return 0;
    }
    rangeFrom[rangeCount] = from;
    rangeTo[rangeCount] = to;
    rangeCount++;
    if (*p == '\0') break;
    p++;
  }
  listMode = 1;
  listTotal = (int)total;
  return 1;
}

int index_open(const char *path) {
  dataPath = path;
  dataFp = crv_open(path);
  if (dataFp == NULL) return 0;
  // The workers read each dataset again from its place: a pipe cannot give it twice.
  if (!can_read_twice(dataFp, "Data", path, "index_datasets")) {
    fclose(dataFp);
    dataFp = NULL;
    return 0;
  }
  struct stat st;
  int isFile = fstat(fileno(dataFp), &st) == 0;
  // A folder opens, and fails at its first read: found here, before any output is made.
  if (isFile && S_ISDIR(st.st_mode)) {
    crv_refuse(CRV_READ_ERROR, path, 0);
    fclose(dataFp);
    dataFp = NULL;
    return 0;
  }
  crv_scan_start(&scan, dataFp);
  dataSize = isFile && S_ISREG(st.st_mode) ? (long long)st.st_size : 0;
  for (int r = 0; r < (listMode ? rangeCount : 0); r++) {
    for (long long id = rangeFrom[r]; id <= rangeTo[r]; id++) {
      int s = id_slot(&listedIds, (int)id, 1);
      listedIds.state[s] = ID_LISTED;  // the list holds at most MAX_IDS ids in all
    }
  }
  listRange = 0;
  listNext = listMode ? rangeFrom[0] : 0;
  return 1;
}

// Scans on to the next dataset of the file: 1 with *ds set, 0 at the end of the file, -1
// after a framed report.
static int scan_next(batch_dataset *ds) {
  for (;;) {
    int id = 0;
    crv_place at = {0, 0, 0, 0};
    int got = crv_scan_next(&scan, &id, &at);
    if (got == CRV_END) {
      scanDone = 1;
      return 0;
    }
    if (got == CRV_READ_ERROR) return crv_refuse(got, dataPath, 0) - 1;
    int first = !scanStarted;
    scanStarted = 1;
    if (got == CRV_LONG_LINE && longLine == 0) longLine = at.lineNo;
    // Data before the first id line are dataset 0, which velquin reads from the top.
    if (got != CRV_ID_LINE) {
      if (!first) continue;
      ds->id = 0;
      ds->at.offset = 0;
      ds->at.lineNo = 0;
      ds->at.refusedLine = 0;
      ds->at.missing = 0;
      return 1;
    }
    if (id == 0) continue;  // id 0 selects the file's first data, never this line
    // A listed batch keeps only its own ids, so that a file of any number of ids can be
    // cut into batches.
    if (listMode && id_slot(&listedIds, id, 0) < 0) continue;
    int s = id_slot(&seenIds, id, 1);
    if (s < 0) return too_many_ids();
    if (seenIds.state[s] != SLOT_EMPTY) {
      // Only the first dataset of an id can be selected; the summary names the id once.
      if (seenIds.state[s] == ID_SEEN) {
        if (repeatedCount < MAX_SHOWN_DUPLICATES) repeatedIds[repeatedCount] = id;
        repeatedCount++;
      }
      seenIds.state[s] = ID_REPEATED;
      continue;
    }
    seenIds.state[s] = ID_SEEN;
    ds->id = id;
    ds->at = at;
    ds->at.refusedLine = longLine;
    return 1;
  }
}

int index_next(batch_dataset *ds) {
  if (!listMode) {
    int got = scan_next(ds);
    if (got == 1) scanCount++;
    return got;
  }
  // The whole file is read first, keeping the places of the listed ids only.
  while (!scanDone) {
    batch_dataset found;
    int got = scan_next(&found);
    if (got < 0) return -1;
    if (got == 0) break;
    int s = id_slot(&listedIds, found.id, 0);
    if (s >= 0 && found.id != 0) {
      listedIds.state[s] = ID_FOUND;
      listedPlace[s] = found;
    }
  }
  if (listRange >= rangeCount) return 0;
  int id = (int)listNext;
  if (++listNext > rangeTo[listRange] && ++listRange < rangeCount) listNext = rangeFrom[listRange];
  int s = id_slot(&listedIds, id, 0);
  if (id == 0) {
    ds->id = 0;  // velquin reads dataset 0 from the top, whatever the file begins with
    ds->at.offset = 0;
    ds->at.lineNo = 0;
    ds->at.refusedLine = 0;
    ds->at.missing = 0;
  } else if (listedIds.state[s] == ID_FOUND) {
    *ds = listedPlace[s];
  } else {
    // velquin would search the whole file, and meet its first refused line on the way.
    ds->id = id;
    ds->at.offset = 0;
    ds->at.lineNo = 0;
    ds->at.refusedLine = longLine;
    ds->at.missing = 1;
  }
  return 1;
}

int index_total(void) {
  if (listMode) return listTotal;
  return scanDone ? scanCount : -1;
}

int index_estimate(void) {
  int total = index_total();
  if (total >= 0) return total;
  if (scan.offset <= 0 || dataSize <= 0) return -1;
  return (int)((double)scanCount * (double)dataSize / (double)scan.offset + 0.5);
}

int duplicate_count(void) { return repeatedCount; }

int duplicate_id(int i) { return repeatedIds[i]; }

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

int load_starts(const char *path) {
  char msg[MESSAGE_SIZE];
  startsPath = path;
  FILE *fp = fopen(path, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open starts file %s\n", path);
    return starts_error(msg);
  }
  // Each dataset's line is read again when its fit starts: a pipe cannot give it twice.
  if (!can_read_twice(fp, "Starts", path, "load_starts")) {
    fclose(fp);
    return 0;
  }
  char line[STARTS_LINE_SIZE];
  char *words[1];
  long long offset = 0, len = 0;
  int lineNo = 0, ok = 1, got, kept;
  while (ok && (got = read_whole_line(fp, line, sizeof line, &kept, &len, NULL)) != LINE_END &&
         got != LINE_ERROR) {
    lineNo++;
    long long at = offset;
    offset += len;
    if (line[0] == '#' || line[0] == '!') continue;  // a comment may be of any length
    int id;
    msg[0] = '\0';
    if (got == LINE_TOO_LONG) {
      snprintf(msg, sizeof msg, "Line %d of starts file %s is too long\n", lineNo, path);
    } else if (split_words(line, words, 1) == 0) {
      continue;
    } else if (!starts_id(words[0], &id)) {
      snprintf(msg, sizeof msg, "Line %d of starts file %s does not begin with a dataset id\n",
               lineNo, path);
    } else {
      int s = id_slot(&startsIds, id, 1);
      if (s < 0) {
        snprintf(msg, sizeof msg, "More than %d dataset ids in starts file %s\n", MAX_IDS, path);
      } else if (startsIds.state[s] != SLOT_EMPTY) {
        snprintf(msg, sizeof msg, "Line %d of starts file %s repeats dataset %d\n", lineNo, path,
                 id);
      } else {
        startsIds.state[s] = ID_SEEN;
        startsOffset[s] = at;
      }
    }
    if (msg[0] != '\0') ok = starts_error(msg);
  }
  if (ok && ferror(fp)) {
    snprintf(msg, sizeof msg, "Unable to read starts file %s\n", path);
    ok = starts_error(msg);
  }
  if (ok) {
    startsFp = fp;
  } else {
    fclose(fp);
  }
  return ok;
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
  if (got == 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to read starts file %s\n", startsPath);
    starts_error(msg);
    return -1;
  }
  line[got] = '\0';
  char *nl = strchr(line, '\n');
  if (nl != NULL) *nl = '\0';
  char *words[1 + MAX_PARMS];
  int n = split_words(line, words, 1 + MAX_PARMS);
  for (int i = 0; i < MAX_PARMS; i++) {
    params[i] = 0.0;
    held[i] = 0;
  }
  // Arguments past the tenth have nowhere to go, as on velquin's command line.
  for (int i = 1; i < n; i++) parse_parm(words[i], &params[i - 1], &held[i - 1]);
  return 1;
}
