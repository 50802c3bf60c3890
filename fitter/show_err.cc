// The framed error report. Every message of velquin passes through here, so that a batch
// can keep a refusal's text for its table instead of printing it.
#include "show_err.h"

#include <stdio.h>
#include <string.h>

char errMessage[MESSAGE_SIZE];
int errQuiet;

void show_err(int type, const char *module, const char *message) {
  size_t len = strlen(message);
  if (len > sizeof errMessage - 1) len = sizeof errMessage - 1;
  memcpy(errMessage, message, len);
  errMessage[len] = '\0';
  if (errQuiet) return;
  static const char rule[] = "\n************************************************\n";
  fputs(rule, stdout);
  fputc('\n', stdout);
  fputs(type == ERR_FATAL ? " Fatal Error Detected!\n" : " Warning, Error Detected!\n", stdout);
  fputc('\n', stdout);
  fprintf(stdout, " Module.: %s\n", module);
  fprintf(stdout, " Message: %s\n", message);
  fputs(rule, stdout);
  fputc('\n', stdout);
}
