// velquin: one least-squares fit per run, the whole job on the command line.
// The run is one fixed sequence; its exit status tells a completed fit (0) from a
// failed fit or an error (1).
#include "run_state.h"

int main(int argc, char **argv) {
  get_args(argc, argv);
  init_vars();
  return do_morvane();
}
