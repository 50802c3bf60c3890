// velbatch --join: the tables of a batch's parts, one file each, joined into the whole
// batch's table under one header, with the checks that a shell's concatenation lacks.
#ifndef VELQUIN_BATCH_JOIN_H
#define VELQUIN_BATCH_JOIN_H

// Writes the table at outPath from the count part tables at parts, in that order: the
// first part's header, then every part's rows. Refuses, before outPath is touched, a part
// that is not a velbatch table, whose header differs from the first part's, or that is
// not whole (its last line has no line feed), and an output that is one of the parts. The
// output is written beside its name and renamed onto it when whole: a refusal or a write
// error leaves an earlier file of that name as it was. Returns 1, or 0 after a framed
// report.
int join_tables(const char *outPath, char *const *parts, int count);

#endif  // VELQUIN_BATCH_JOIN_H
