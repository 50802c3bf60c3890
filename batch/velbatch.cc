// velbatch: every dataset of a curve data file fitted as velquin fits it, with one table
// of all results. Its exit status: 0 when every dataset is ok, 1 when one failed or was
// refused, 2 when the batch could not run, 128 and the signal after an interrupt.
#include "batch_args.h"
#include "batch_index.h"
#include "batch_run.h"
#include "show_err.h"

int main(int argc, char **argv) {
  errToStderr = 1;  // standard output holds the summary, or the table
  batch_options o;
  int got = get_batch_args(argc, argv, &o);
  if (got == ARGS_ANSWERED) return 0;
  if (got == ARGS_BAD || !check_batch_files(&o)) return 2;
  if (o.idList != NULL && !parse_id_list(o.idList)) return 2;
  if (o.startsFile != NULL && !load_starts(o.startsFile, o.model)) return 2;
  return run_batch(&o);
}
