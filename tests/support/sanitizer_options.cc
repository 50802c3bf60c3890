// Linked into every program of the sanitizer build: a sanitizer report ends the program
// with a status of its own, so that a test expecting status 1 still sees the report.
extern "C" const char *__asan_default_options() {
  return "exitcode=86:detect_leaks=1:strict_string_checks=1";
}

extern "C" const char *__ubsan_default_options() { return "exitcode=87:print_stacktrace=1"; }
