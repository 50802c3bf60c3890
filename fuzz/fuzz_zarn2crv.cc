// Fuzz target of zarn2crv: the program's own row run as its main runs it, the shared file names
// reset before each run. Input layout: fuzz_run_converter in fuzz_support.h.
#include "converters.h"
#include "fuzz_support.h"

static int run_zarn2crv(int argc, char **argv) {
  return run_converter(argc, argv, &zarn2crv_converter);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_run_converter(data, size, "zarn2crv", run_zarn2crv, reset_conv_io);
  return 0;
}
