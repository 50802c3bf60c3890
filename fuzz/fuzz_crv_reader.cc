// Fuzz target of read_crv_data. Input: the dataset id as text (converted like velquin's
// command-line id), a NUL byte, then the content of the curve data file, which the reader
// opens by the name "data.crv". Checks the reader's result convention on every input.
#include <stdlib.h>

#include "cli.h"
#include "crv_reader.h"
#include "fuzz_support.h"
#include "run_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_part part[2];
  fuzz_split(data, size, 2, part);
  fuzz_part none = {NULL, 0};
  char **argv;
  // The id text is taken as the one word of a command line, so it ends with a NUL.
  int argc = fuzz_begin("read_crv_data", part[0], none, "data.crv", part[1], &argv);
  int datasetId = argc > 1 ? to_int(argv[1]) : 0;

  // Blocks of exactly the capacity the reader is promised, so a write past it is caught.
  double *x = (double *)malloc(MAX_POINTS * sizeof(double));
  double *y = (double *)malloc(MAX_POINTS * sizeof(double));
  double *t = (double *)malloc(MAX_POINTS * sizeof(double));
  int count = -1, columns = -1;
  int result = read_crv_data("data.crv", datasetId, x, y, t, &count, &columns);
  fuzz_end();
  free(x);
  free(y);
  free(t);

  if (result == 1) {
    if (count < MIN_POINTS || count > MAX_POINTS || (columns != 2 && columns != 3)) abort();
  } else if (result != 0 || count != -1 || columns != -1) {
    abort();  // a failed read leaves the out-parameters untouched
  }
  return 0;
}
