// Fuzz target of colcrv: the program's own row run as its main runs it, the shared file names
// reset before each run. Input layout: fuzz_run_converter in fuzz_support.h.
#include "converters.h"
#include "fuzz_support.h"

static int run_colcrv(int argc, char **argv) {
  return run_converter(argc, argv, &colcrv_converter);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_run_converter(data, size, "colcrv", run_colcrv, reset_conv_io);
  return 0;
}
