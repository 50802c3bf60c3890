// Fuzz target of the whole velquin run: the steps of its main, from the command line through
// the data load and the fit to both reports. Input: the command-line words after the program
// name, one per line, a NUL byte, then the content of the curve data file "data.crv".
// Everything is reset between runs to the zero state a fresh process starts in.
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "driver.h"
#include "fuzz_support.h"
#include "models.h"
#include "run_state.h"

// A run that asks for more iterations is left out: a fit that never converges would run
// for as long as it was told, which is no fault but would stall the fuzzer.
enum { FUZZ_MAX_ITERATIONS = 1000 };

// A fresh process also starts with an empty catalogue, which the run must fill itself.
static void reset_process(void) {
  reset_run_state();
  memset(fitLabel, 0, sizeof fitLabel);
  memset(fitNote, 0, sizeof fitNote);
  memset(fitParmNum, 0, sizeof fitParmNum);
  memset(fitParmStr, 0, sizeof fitParmStr);
}

// The steps of velquin's main, in its order.
static int run_velquin(int argc, char **argv) {
  if (info_option(argc, argv, "velquin", velquin_usage)) return 0;
  if (!get_args(argc, argv)) return 1;
  if (!init_vars()) return 1;
  return do_morvane();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_part part[2];
  fuzz_split(data, size, 2, part);
  fuzz_part none = {NULL, 0};
  char **argv;
  int argc = fuzz_begin("velquin", part[0], none, "data.crv", part[1], &argv);
  if (argc > NUM_FIXED_ARGS && to_int(argv[NUM_FIXED_ARGS]) > FUZZ_MAX_ITERATIONS) {
    fuzz_end();
    return -1;
  }
  reset_process();
  int status = run_velquin(argc, argv);
  fuzz_end();
  if (status != 0 && status != 1) abort();
  return 0;
}
