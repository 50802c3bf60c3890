// Command-line reading shared by every program of the suite.
#include "cli.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "show_err.h"

int to_int(const char *text) {
  long value = strtol(text, NULL, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}

void parse_parm(const char *arg, double *value, int *held) {
  if (arg[0] == '=') {
    *held = 1;
    *value = atof(arg + 1);
  } else {
    *held = 0;
    *value = atof(arg);
  }
}

int whole_int(const char *text, int *v) {
  const char *digits = text[0] == '+' || text[0] == '-' ? text + 1 : text;
  if (!isdigit((unsigned char)digits[0])) return 0;
  char *end;
  strtol(text, &end, 10);
  if (*end != '\0') return 0;
  *v = to_int(text);
  return 1;
}

int whole_number(const char *text, double *v) {
  if (isspace((unsigned char)text[0])) return 0;  // strtod would skip it
  char *end;
  double value = strtod(text, &end);
  if (end == text || *end != '\0') return 0;
  *v = value;
  return 1;
}

int whole_parm(const char *arg, double *value, int *held) {
  int hold = arg[0] == '=';
  if (!whole_number(arg + hold, value)) return 0;
  *held = hold;
  return 1;
}

int answer_info(const char *arg, const char *program, const char *usage) {
  if (strcmp(arg, "--help") == 0) {
    fputs(usage, stdout);
    return 1;
  }
  if (strcmp(arg, "--version") == 0) {
    printf("%s (velquin) %s\n", program, VELQUIN_VERSION);
    return 1;
  }
  return 0;
}

int info_option(int argc, char **argv, const char *program, const char *usage) {
  return argc == 2 && answer_info(argv[1], program, usage);
}

int check_name(const char *name, const char *module) {
  if (strlen(name) <= NAME_SIZE - 1) return 1;
  // Room for any one argument, so the message names the whole of a rejected name.
  static char msg[MAX_ARG_SIZE + 32];
  snprintf(msg, sizeof msg, "File name too long: %s\n", name);
  show_err(ERR_FATAL, module, msg);
  return 0;
}

int check_model(int model, const char *module) {
  if (model >= 0 && model <= LAST_MODEL) return 1;
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Unknown model number %d\n", model);
  show_err(ERR_FATAL, module, msg);
  return 0;
}
