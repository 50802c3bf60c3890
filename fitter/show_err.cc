// The framed error report. Every message of velquin passes through here, so that a batch
// can keep a refusal's text for its table instead of printing it.
#include "show_err.h"

#include <stdio.h>
#include <string.h>

char errMessage[MESSAGE_SIZE];
int errQuiet;
int errToStderr;

void show_err(int type, const char *module, const char *message) {
  size_t len = strlen(message);
  if (len > sizeof errMessage - 1) len = sizeof errMessage - 1;
  memcpy(errMessage, message, len);
  errMessage[len] = '\0';
  if (errQuiet) return;
  FILE *out = errToStderr ? stderr : stdout;
  static const char rule[] = "\n************************************************\n";
  fputs(rule, out);
  fputc('\n', out);
  fputs(type == ERR_FATAL ? " Fatal Error Detected!\n" : " Warning, Error Detected!\n", out);
  fputc('\n', out);
  fprintf(out, " Module.: %s\n", module);
  fprintf(out, " Message: %s\n", message);
  fputs(rule, out);
  fputc('\n', out);
}
