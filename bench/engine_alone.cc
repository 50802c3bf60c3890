// The limit of a batch: every dataset of a file fitted in one process from memory, with no
// output, as velbatch's workers fit them (setup_run, the dataset into the run state,
// do_iterations). The datasets are loaded once, before the timing, by the batch's own scan
// and reader. Prints the median over the rounds of the wall and CPU time per dataset.
// Usage: engine_alone ROUNDS [velbatch's arguments]   (the output files are never made)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "batch_args.h"
#include "batch_index.h"
#include "batch_starts.h"
#include "driver.h"
#include "fit_engine.h"
#include "run_state.h"

namespace {

struct dataset {
  int id, count, columns;
  size_t first;  // its first point in the point arrays
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
};

std::vector<dataset> datasets;
std::vector<double> xs, ys, ts;

double seconds(clockid_t clock) {
  struct timespec t;
  clock_gettime(clock, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// The run of dataset id as a worker sets it up, from parms and held (NULL: none).
void setup_dataset(const batch_options *o, int id, const double *parms, const int *held) {
  run_setup r = {};
  r.dataOffset = o->dataOffset;
  r.dataRes = id;
  r.dataFname = o->dataFile;
  r.fitFunc = o->model;
  r.maxIt = o->maxIt;
  if (parms != NULL) memcpy(r.fitParms, parms, sizeof r.fitParms);
  if (held != NULL) memcpy(r.holdConstFlag, held, sizeof r.holdConstFlag);
  setup_run(&r);
}

// Loads every dataset of the batch that velbatch would fit; refused ones are left out.
int preload(const batch_options *o) {
  if (!index_open(o->dataFile)) return 0;
  FILE *fp = fopen(o->dataFile, "r");
  batch_dataset ds;
  int got;
  while ((got = index_next(&ds)) > 0) {
    dataset d = {};
    d.id = ds.id;
    if (starts_for(ds.id, d.parms, d.held) == 0) {
      memcpy(d.parms, o->parms, sizeof d.parms);
      memcpy(d.held, o->held, sizeof d.held);
    }
    setup_dataset(o, ds.id, NULL, NULL);
    if (!load_data(fp, &ds.at)) continue;
    d.count = numData;
    d.columns = numDataCol;
    d.first = xs.size();
    xs.insert(xs.end(), xOffsetData, xOffsetData + numData);
    ys.insert(ys.end(), yData, yData + numData);
    ts.insert(ts.end(), tData, tData + numData);
    datasets.push_back(d);
  }
  if (fp != NULL) fclose(fp);
  return got == 0;
}

// One round: every dataset fitted once. Returns how many fits succeeded.
int fit_all(const batch_options *o) {
  int ok = 0;
  for (const dataset &d : datasets) {
    setup_dataset(o, d.id, d.parms, d.held);
    numData = d.count;
    numDataCol = d.columns;
    memcpy(xOffsetData, &xs[d.first], sizeof(double) * d.count);
    memcpy(yData, &ys[d.first], sizeof(double) * d.count);
    memcpy(tData, &ts[d.first], sizeof(double) * d.count);
    if (do_iterations(fitParms, fitStdDev) == FIT_DONE) ok++;
  }
  return ok;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[(v.size() - 1) / 2];
}

}  // namespace

int main(int argc, char **argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 0;
  if (rounds < 1) {
    fputs("usage: engine_alone ROUNDS [velbatch's arguments]\n", stderr);
    return 2;
  }
  argv[1] = argv[0];  // velbatch's command line from here on
  batch_options o;
  if (get_batch_args(argc - 1, argv + 1, &o) != ARGS_OK) return 2;
  if (o.idList != NULL && !parse_id_list(o.idList)) return 2;
  if (o.startsFile != NULL && !load_starts(o.startsFile, o.model)) return 2;
  if (!preload(&o) || datasets.empty()) {
    fputs("engine_alone: no dataset to fit\n", stderr);
    return 2;
  }
  fit_all(&o);  // a warm-up round: the caches and the branch predictors as in a long batch
  std::vector<double> wall, cpu;
  int ok = 0;
  for (int r = 0; r < rounds; r++) {
    double w0 = seconds(CLOCK_MONOTONIC), c0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    ok = fit_all(&o);
    double c1 = seconds(CLOCK_PROCESS_CPUTIME_ID), w1 = seconds(CLOCK_MONOTONIC);
    wall.push_back((w1 - w0) / (double)datasets.size() * 1e6);
    cpu.push_back((c1 - c0) / (double)datasets.size() * 1e6);
  }
  printf(
      "%zu datasets, %d ok, %d rounds: %.3f us per dataset (wall), %.3f us (cpu), "
      "%.0f fits/s\n",
      datasets.size(), ok, rounds, median(wall), median(cpu), 1e6 / median(wall));
  return 0;
}
