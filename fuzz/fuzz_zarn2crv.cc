// Fuzz target of zarn2crv: its real main and the shared name prompts, compiled in here so
// that their statics can be reset. Input layout: fuzz_run_converter in fuzz_support.h.
#include <string.h>

#include "fuzz_support.h"

// The program's own sources; its main is renamed, since libFuzzer brings the process's main.
#include "conv_io.cc"

#define main zarn2crv_main
#include "zarn2crv.cc"
#undef main

static void reset_statics(void) {
  memset(inFname, 0, sizeof inFname);
  memset(outFname, 0, sizeof outFname);
  memset(outPath, 0, sizeof outPath);
  memset(tempFname, 0, sizeof tempFname);
  infp = NULL;
  outfp = NULL;
  memset(xValues, 0, sizeof xValues);
  memset(yValues, 0, sizeof yValues);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_run_converter(data, size, "zarn2crv", zarn2crv_main, reset_statics);
  return 0;
}
