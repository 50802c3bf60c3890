// velquin: one least-squares fit per run, the whole job on the command line.
// The run is one fixed sequence; its exit status tells a completed fit (0) from a
// failed fit or an error (1).
#include "cli.h"
#include "driver.h"

int main(int argc, char **argv) {
  if (info_option(argc, argv, "velquin", velquin_usage)) return 0;
  if (!get_args(argc, argv)) return 1;
  if (!init_vars()) return 1;
  return do_morvane();
}
