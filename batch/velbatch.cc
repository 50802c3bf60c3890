// velbatch: every dataset of a curve data file fitted as velquin fits it, with one table
// of all results; or, with --join, the tables of a batch's parts joined into the whole.
// Its exit status: 0 when every dataset is ok, 1 when one failed or was refused, 2 when
// the batch could not run, 128 and the signal after an interrupt.
#include <stdio.h>
#include <string.h>

#include "batch_args.h"
#include "batch_index.h"
#include "batch_join.h"
#include "batch_part.h"
#include "batch_run.h"
#include "batch_starts.h"
#include "show_err.h"

int main(int argc, char **argv) {
  errToStderr = 1;  // standard output holds the summary, or the table
  if (argc > 1 && strcmp(argv[1], "--join") == 0) {
    if (argc < 4) {
      fputs(velbatch_usage, stderr);
      return 2;
    }
    return join_tables(argv[2], argv + 3, argc - 3) ? 0 : 2;
  }
  batch_options o;
  int got = get_batch_args(argc, argv, &o);
  if (got == ARGS_ANSWERED) return 0;
  if (got == ARGS_BAD || !check_batch_files(&o)) return 2;
  if (o.idList != NULL && !parse_id_list(o.idList)) return 2;
  if (o.part != NULL && !parse_part(o.part)) return 2;
  if (o.startsFile != NULL && !load_starts(o.startsFile, o.model)) return 2;
  return run_batch(&o);
}
