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

#include "batch_args.h"
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

enum {
  SLOT_EMPTY = 0,
  ID_SEEN = 1,  // seenIds
  ID_REPEATED = 2,
  ID_LISTED = 1,  // listedIds: an id of the list alone, not yet found
  ID_FOUND = 2,   // an id of the list found by the scan, its place in found
  ID_STARTS = 1,  // startsIds: a line of the starts file
  ID_MET = 2,     // a line whose dataset the batch has
};

// Each run of 64 neighbouring ids keeps its order in 64 neighbouring slots, so that a file of
// consecutive ids touches a page of the table for every thousand ids rather than one for
// each; Fibonacci hashing spreads the runs, whatever their pattern.
enum { ID_RUN_BITS = 6 };
static unsigned id_hash(int id) {
  unsigned run = (((unsigned)id >> ID_RUN_BITS) * 2654435769u) >> (32 - 22 + ID_RUN_BITS);
  return run << ID_RUN_BITS | ((unsigned)id & ((1u << ID_RUN_BITS) - 1));
}
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

// The --ids list: its items in order, each an id alone or a range.
static int rangeFrom[MAX_ID_RANGES], rangeTo[MAX_ID_RANGES];
static unsigned char rangeWide[MAX_ID_RANGES];  // a range "a-b", which takes only ids found
static int rangeCount;
static int listMode;
static int listItem;  // the item being handed out
static int listPos;   // a range's next place in found to look at
static int listTotal;  // -1 until the scan is done
static id_table listedIds;
// The ranges as disjoint spans in ascending order, to tell at a glance whether an id of the
// file lies in one.
static int spanFrom[MAX_ID_RANGES], spanTo[MAX_ID_RANGES];
static int spanCount;
// The listed datasets that the scan found, in file order; listedIds holds each one's place.
static batch_dataset found[MAX_IDS];
static int foundAt[ID_SLOTS];
static int foundCount;

// The starts file, kept open: where each dataset's line begins. Only the main process reads
// it, so the offset it shares with the workers after a fork is its own.
static FILE *startsFp;
static const char *startsPath;
static int startsModel;
static id_table startsIds;
static long long startsOffset[ID_SLOTS];
static int startsLine[ID_SLOTS];

void reset_index(void) {
  if (dataFp != NULL) fclose(dataFp);
  dataFp = NULL;
  scanStarted = scanDone = longLine = scanCount = 0;
  clear_table(&seenIds);
  repeatedCount = 0;
  rangeCount = listMode = listItem = listPos = listTotal = spanCount = foundCount = 0;
  clear_table(&listedIds);
  if (startsFp != NULL) fclose(startsFp);
  startsFp = NULL;
  clear_table(&startsIds);
}

// velquin's reader frames a data file that cannot be opened or read as a warning, since
// velquin goes on to its exit status; a batch stops there. The reader reports quietly, and
// its words are framed again as fatal.
static int quietWas;
static void reader_quiet(void) {
  quietWas = errQuiet;
  errQuiet = 1;
}
static int reader_done(int ok) {
  errQuiet = quietWas;
  if (ok) return 1;
  char msg[MESSAGE_SIZE];
  memcpy(msg, errMessage, sizeof msg);
  show_err(ERR_FATAL, "read_crv_data", msg);
  return 0;
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
  rangeCount = 0;
  for (;;) {
    int from = 0, to = 0, wide = 0;
    int ok = *p != ' ' && list_id(&p, &from);
    to = from;
    if (ok && *p == '-') {
      p++;
      wide = 1;
      ok = *p != ' ' && list_id(&p, &to) && to >= from;
    }
    ok = ok && (*p == ',' || *p == '\0') && rangeCount < MAX_ID_RANGES;
    if (!ok) {
      char msg[MESSAGE_SIZE];
      snprintf(msg, sizeof msg, "Invalid id list %.*s: ids and ranges such as 3,7,10-20\n",
               MESSAGE_SIZE - 64, text);
      show_err(ERR_FATAL, "get_batch_args", msg);
      return 0;
    }
    rangeFrom[rangeCount] = from;
    rangeTo[rangeCount] = to;
    rangeWide[rangeCount] = (unsigned char)wide;
    rangeCount++;
    if (*p == '\0') break;
    p++;
  }
  listMode = 1;
  listTotal = -1;
  return 1;
}

// Sorts the spans by their first id: a shell sort, in place.
static void sort_spans(void) {
  for (int gap = spanCount / 2; gap > 0; gap /= 2) {
    for (int i = gap; i < spanCount; i++) {
      int from = spanFrom[i], to = spanTo[i], j = i;
      for (; j >= gap && spanFrom[j - gap] > from; j -= gap) {
        spanFrom[j] = spanFrom[j - gap];
        spanTo[j] = spanTo[j - gap];
      }
      spanFrom[j] = from;
      spanTo[j] = to;
    }
  }
}

// The list's ranges as disjoint spans: sorted, and those that overlap or touch merged.
static void make_spans(void) {
  spanCount = 0;
  for (int r = 0; r < rangeCount; r++) {
    if (!rangeWide[r]) continue;
    spanFrom[spanCount] = rangeFrom[r];
    spanTo[spanCount] = rangeTo[r];
    spanCount++;
  }
  sort_spans();
  int n = 0;
  for (int i = 0; i < spanCount; i++) {
    if (n > 0 && (long long)spanFrom[i] <= (long long)spanTo[n - 1] + 1) {
      if (spanTo[i] > spanTo[n - 1]) spanTo[n - 1] = spanTo[i];
      continue;
    }
    spanFrom[n] = spanFrom[i];
    spanTo[n] = spanTo[i];
    n++;
  }
  spanCount = n;
}

static int in_spans(int id) {
  int lo = 0, hi = spanCount;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (spanTo[mid] < id) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < spanCount && spanFrom[lo] <= id;
}

int index_open(const char *path) {
  dataPath = path;
  reader_quiet();
  dataFp = crv_open(path);
  if (!reader_done(dataFp != NULL)) return 0;
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
    reader_quiet();
    reader_done(crv_refuse(CRV_READ_ERROR, path, 0));
    fclose(dataFp);
    dataFp = NULL;
    return 0;
  }
  crv_scan_start(&scan, dataFp);
  dataSize = isFile && S_ISREG(st.st_mode) ? (long long)st.st_size : 0;
  for (int r = 0; r < (listMode ? rangeCount : 0); r++) {
    if (rangeWide[r]) continue;
    int s = id_slot(&listedIds, rangeFrom[r], 1);  // fewer items than MAX_IDS
    listedIds.state[s] = ID_LISTED;
  }
  if (listMode) make_spans();
  listItem = listPos = 0;
  return 1;
}

static void dataset_zero(batch_dataset *ds) {
  ds->id = 0;  // velquin reads dataset 0 from the top, whatever the file begins with
  ds->at.offset = 0;
  ds->at.lineNo = 0;
  ds->at.refusedLine = 0;
  ds->at.missing = 0;
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
    if (got == CRV_READ_ERROR) {
      reader_quiet();
      return reader_done(crv_refuse(got, dataPath, 0)) - 1;
    }
    int first = !scanStarted;
    scanStarted = 1;
    if (got == CRV_LONG_LINE && longLine == 0) longLine = at.lineNo;
    // Data before the first id line are dataset 0, which velquin reads from the top.
    if (got != CRV_ID_LINE) {
      if (!first) continue;
      dataset_zero(ds);
      return 1;
    }
    if (id == 0) continue;  // id 0 selects the file's first data, never this line
    // A listed batch keeps only its own ids, so that a file of any number of ids can be
    // cut into batches.
    if (listMode && id_slot(&listedIds, id, 0) < 0 && !in_spans(id)) continue;
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

// Reads the whole file, keeping in found the datasets of the list's ids and ranges, in file
// order, and counts the batch. Returns 1, or -1 after a framed report.
static int find_listed(void) {
  while (!scanDone) {
    batch_dataset ds;
    int got = scan_next(&ds);
    if (got < 0) return -1;
    if (got == 0) break;
    if (ds.id == 0 && !in_spans(0)) continue;  // dataset 0 alone is read from the top
    int s = id_slot(&listedIds, ds.id, 1);
    if (s < 0 || foundCount == MAX_IDS) return too_many_ids();
    listedIds.state[s] = ID_FOUND;
    foundAt[s] = foundCount;
    found[foundCount++] = ds;
  }
  long long total = 0;
  for (int r = 0; r < rangeCount; r++) {
    if (!rangeWide[r]) total++;
    for (int i = 0; rangeWide[r] && i < foundCount; i++) {
      total += found[i].id >= rangeFrom[r] && found[i].id <= rangeTo[r];
    }
  }
  listTotal = total > INT_MAX ? INT_MAX : (int)total;
  return 1;
}

// The next dataset of the list: an id alone, found or missing, or the next of a range's.
static int list_next(batch_dataset *ds) {
  for (; listItem < rangeCount; listItem++, listPos = 0) {
    int from = rangeFrom[listItem], to = rangeTo[listItem];
    if (!rangeWide[listItem]) {
      listItem++;
      int s = id_slot(&listedIds, from, 0);
      if (from == 0) {
        dataset_zero(ds);
      } else if (listedIds.state[s] == ID_FOUND) {
        *ds = found[foundAt[s]];
      } else {
        // velquin would search the whole file, and meet its first refused line on the way.
        ds->id = from;
        ds->at.offset = 0;
        ds->at.lineNo = 0;
        ds->at.refusedLine = longLine;
        ds->at.missing = 1;
      }
      return 1;
    }
    while (listPos < foundCount && (found[listPos].id < from || found[listPos].id > to)) listPos++;
    if (listPos < foundCount) {
      *ds = found[listPos++];
      return 1;
    }
  }
  return 0;
}

// Notes that the batch has dataset id, for the count of the starts file's other lines.
static void starts_met(int id) {
  int s = startsFp != NULL ? id_slot(&startsIds, id, 0) : -1;
  if (s >= 0) startsIds.state[s] = ID_MET;
}

int index_next(batch_dataset *ds) {
  int got;
  if (!listMode) {
    got = scan_next(ds);
    if (got == 1) scanCount++;
  } else {
    got = listTotal < 0 && find_listed() < 0 ? -1 : list_next(ds);
  }
  if (got == 1) starts_met(ds->id);
  return got;
}

int index_total(void) {
  if (listMode) return listTotal;
  return scanDone ? scanCount : -1;
}

int index_estimate(void) {
  int total = index_total();
  if (total >= 0) return total;
  if (listMode || scan.offset <= 0 || dataSize <= 0) return -1;
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

int load_starts(const char *path, int model) {
  static char msg[MESSAGE_SIZE + STARTS_LINE_SIZE];  // a message naming a word of a line
  startsPath = path;
  startsModel = model;
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
  long long offset = skip_bom(fp), len = 0;  // the mark is no line: line 1 follows it
  int lineNo = 0, ok = 1, got, kept;
  while (ok && (got = read_whole_line(fp, line, sizeof line, &kept, &len, NULL)) != LINE_END &&
         got != LINE_ERROR) {
    lineNo++;
    long long at = offset;
    offset += len;
    if (line[0] == '#' || line[0] == '!') continue;  // a comment may be of any length
    int id = 0, n = 0;
    msg[0] = '\0';
    if (got == LINE_TOO_LONG) {
      snprintf(msg, sizeof msg, "Line %d of starts file %s is too long\n", lineNo, path);
    } else if ((n = split_words(line, startsWords, STARTS_LINE_SIZE / 2 + 1)) == 0) {
      continue;
    } else if (!starts_id(startsWords[0], &id)) {
      snprintf(msg, sizeof msg, "Line %d of starts file %s does not begin with a dataset id\n",
               lineNo, path);
    } else {
      check_start_parms(msg, sizeof msg, lineNo, startsWords, n);
    }
    if (msg[0] == '\0') {
      int s = id_slot(&startsIds, id, 1);
      if (s < 0) {
        snprintf(msg, sizeof msg, "More than %d dataset ids in starts file %s\n", MAX_IDS, path);
      } else if (startsIds.state[s] != SLOT_EMPTY) {
        snprintf(msg, sizeof msg, "Line %d of starts file %s repeats dataset %d\n", lineNo, path,
                 id);
      } else {
        startsIds.state[s] = ID_STARTS;
        startsOffset[s] = at;
        startsLine[s] = lineNo;
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
  line[got] = '\0';
  char *nl = strchr(line, '\n');
  if (nl != NULL) *nl = '\0';
  int n = split_words(line, startsWords, STARTS_LINE_SIZE / 2 + 1);
  // The line was checked as it was loaded: a line that reads otherwise now has changed.
  if (n == 0 || read_parms(startsWords + 1, n - 1, startsModel, params, held) != PARMS_READ) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to read starts file %s\n", startsPath);
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
