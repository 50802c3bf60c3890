// Reading a command line as velquin reads it: numbers, parameter arguments, the
// --help/--version answer, and the checks of a file name and a model number that every
// program makes before it touches a file.
#ifndef VELQUIN_CLI_H
#define VELQUIN_CLI_H

#include "capacities.h"

// Reads the leading integer of text as atoi does, but a value beyond the int range
// becomes the nearest end of the range instead of wrapping round to another number.
int to_int(const char *text);

// Reads one parameter argument as the command line gives it: a leading "=" holds the
// parameter at the value that follows, anything else varies it from its value.
void parse_parm(const char *arg, double *value, int *held);

// The same readers for a program that refuses a slip instead of reading a prefix: the whole
// of text must be the number, without blanks. whole_int takes a sign and decimal digits
// (a value beyond the int range becomes the nearest end, as with to_int); whole_number
// takes what strtod reads (inf, nan, hexadecimal); whole_parm an optional "=" before a
// whole number. Each returns 1, or 0 with its outputs untouched.
int whole_int(const char *text, int *v);
int whole_number(const char *text, double *v);
int whole_parm(const char *arg, double *value, int *held);

// Answers arg when it is "--help" (the usage text) or "--version" (program's name and the
// suite's version) on standard output: returns 1 after printing, 0 for any other arg.
int answer_info(const char *arg, const char *program, const char *usage);

// The same for a command line whose only argument is arg.
int info_option(int argc, char **argv, const char *program, const char *usage);

// Refuses, with a fatal report naming module and the whole name, a file name that does not
// fit NAME_SIZE. Returns 1 when it fits.
int check_name(const char *name, const char *module);

// Refuses, with a fatal report naming module, a model number that has no formula; 1 when
// it has one. Checked before any file is read, since such a number can never fit.
int check_model(int model, const char *module);

#endif  // VELQUIN_CLI_H
