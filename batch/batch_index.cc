// The datasets of a batch. The data file is read once, from the top, by the same scan that
// velquin's reader searches with, so a batch finds exactly the datasets that velquin can
// select, with the same line numbers.
#include "batch_index.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "batch_starts.h"
#include "files.h"
#include "show_err.h"

enum {
  ID_SEEN = 1,  // seenIds
  ID_REPEATED = 2,
  ID_LISTED = 1,  // listedIds: an id of the list alone, not yet found
  ID_FOUND = 2,   // an id of the list found by the scan, its place in found
};

// The scan of the data file.
static FILE *dataFp;
static const char *dataPath;
static crv_scan scan;
static int scanStarted;  // a line that is neither a comment nor empty has been met
static int scanDone;
static int longLine;        // the first line the reader refuses as too long, or 0
static int scanCount;       // datasets handed out
static long long dataSize;  // bytes of the data file, when it has a size
static id_table seenIds;
static int repeatedCount;
static int repeatedIds[MAX_SHOWN_DUPLICATES];

// The --ids list: its items in order, each an id alone or a range.
static int rangeFrom[MAX_ID_RANGES], rangeTo[MAX_ID_RANGES];
static unsigned char rangeWide[MAX_ID_RANGES];  // a range "a-b", which takes only ids found
static int rangeCount;
static int listMode;
static int listItem;   // the item being handed out
static int listPos;    // a range's next place in found to look at
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

void reset_index(void) {
  if (dataFp != NULL) fclose(dataFp);
  dataFp = NULL;
  scanStarted = scanDone = longLine = scanCount = 0;
  clear_table(&seenIds);
  repeatedCount = 0;
  rangeCount = listMode = listItem = listPos = listTotal = spanCount = foundCount = 0;
  clear_table(&listedIds);
  reset_starts();
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
