// Numbers as text without printf. std::to_chars gives the correctly rounded digits and is
// defined to write what printf's "%.*g" writes, nan and inf and their signs included; this
// file adds the width, the padding and snprintf's treatment of a short buffer.
#include "number_format.h"

#include <limits.h>
#include <string.h>

#include <charconv>

enum {
  // A double's exact decimal value has at most 767 significant digits: from that precision
  // on, "%g" writes the exact value, in a form that no longer depends on the precision, so a
  // higher precision than this writes the same text.
  MAX_PRECISION = 800,
  // At most a sign, "0.000", the digits, and a point or "e-324".
  GENERAL_TEXT_SIZE = MAX_PRECISION + 16,
  SHORTEST_TEXT_SIZE = 32,  // "-2.2250738585072014e-308" is the longest
  INT_TEXT_SIZE = 16,       // "-2147483648"
};

// Writes text padded with spaces to width, on its right when left is set, as snprintf
// would into buf. Returns the padded length.
static int put_padded(char *buf, int size, const char *text, int len, int width, int left) {
  int pad = width > len ? width - len : 0;
  if (size > 0) {
    int room = size - 1;  // the NUL's byte
    int at = left ? 0 : (pad < room ? pad : room);
    memset(buf, ' ', (size_t)at);
    int n = len < room - at ? len : room - at;
    memcpy(buf + at, text, (size_t)n);
    at += n;
    n = left ? (pad < room - at ? pad : room - at) : 0;
    memset(buf + at, ' ', (size_t)n);
    buf[at + n] = '\0';
  }
  return len + pad;
}

static int put_general(char *buf, int size, int width, int precision, double v, int left) {
  if (width < 0) {
    left = 1;
    width = width == INT_MIN ? INT_MAX : -width;
  }
  if (precision < 0) precision = 6;
  if (precision > MAX_PRECISION) precision = MAX_PRECISION;
  char text[GENERAL_TEXT_SIZE];
  std::to_chars_result r =
      std::to_chars(text, text + sizeof text, v, std::chars_format::general, precision);
  return put_padded(buf, size, text, (int)(r.ptr - text), width, left);
}

int format_general(char *buf, int size, int width, int precision, double v) {
  return put_general(buf, size, width, precision, v, 0);
}

int format_general_left(char *buf, int size, int width, int precision, double v) {
  return put_general(buf, size, width, precision, v, 1);
}

int format_shortest(char *buf, int size, double v) {
  char text[SHORTEST_TEXT_SIZE];
  std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  return put_padded(buf, size, text, (int)(r.ptr - text), 0, 0);
}

int format_int(char *buf, int size, int v) {
  char text[INT_TEXT_SIZE];
  std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  return put_padded(buf, size, text, (int)(r.ptr - text), 0, 0);
}
