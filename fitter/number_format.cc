// Numbers as text without printf. std::to_chars gives the correctly rounded digits and is
// defined to write what printf's "%.*g" writes, nan and inf and their signs included; this
// file adds the width, the padding and snprintf's treatment of a short buffer.
#include "number_format.h"

#include <limits.h>
#include <math.h>
#include <stdint.h>
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
    if (at > 0) memset(buf, ' ', (size_t)at);
    int n = len < room - at ? len : room - at;
    memcpy(buf + at, text, (size_t)n);
    at += n;
    n = left ? (pad < room - at ? pad : room - at) : 0;
    if (n > 0) memset(buf + at, ' ', (size_t)n);
    buf[at + n] = '\0';
  }
  return len + pad;
}

// --- "%.*g" of the values that reports print, in integers
//
// A finite double is m * 2^e2 with an integer m below 2^53. Its first P digits are
// m * 2^e2 * 10^(P - 1 - X) rounded to an integer, X being the decimal exponent: that
// product is a fraction num / den of 128-bit integers for every magnitude from about 1e-17
// to 1e35, and its quotient and remainder round it exactly, ties to even, as printf rounds
// the exact binary value. Anything else goes to std::to_chars.

__extension__ typedef unsigned __int128 u128;

enum {
  FAST_MAX_PRECISION = 17,  // its digits fit 64 bits
  FAST_MAX_BITS = 126,      // num and den stay below 2^126, so twice the remainder fits
};

struct pow10_table {
  u128 v[39];  // 10^38 is the last power below 2^128
};

static constexpr pow10_table make_pow10() {
  pow10_table t{};
  u128 p = 1;
  for (int i = 0; i < 39; i++) {
    t.v[i] = p;
    p *= 10;
  }
  return t;
}

static constexpr pow10_table POW10 = make_pow10();

// Powers of ten as doubles, 1e-38 to 1e38, rounded: only to guess a decimal exponent,
// which the integers then prove or correct.
struct guess_table {
  double v[77];
};

static constexpr guess_table make_guess() {
  guess_table t{};
  double p = 1.0;
  for (int k = 0; k <= 38; k++, p *= 10.0) {
    t.v[38 + k] = p;
    t.v[38 - k] = 1.0 / p;
  }
  return t;
}

static constexpr guess_table POW10_GUESS = make_guess();

static int bit_length(u128 x) {
  uint64_t high = (uint64_t)(x >> 64), low = (uint64_t)x;
  if (high != 0) return 128 - __builtin_clzll(high);
  return low != 0 ? 64 - __builtin_clzll(low) : 0;
}

enum {
  DIGITS_COPY = 24,  // bytes copied at once, at least FAST_MAX_PRECISION
  DIGITS_ROOM = FAST_MAX_PRECISION + DIGITS_COPY,
};

// The text of "%.*g" from its digits: q, of exactly precision digits, times 10 to the
// power x - precision + 1. Trailing zeros of the fraction and a bare point go, as "%g"
// (without "#") drops them. text has room for GENERAL_TEXT_SIZE bytes: the digits go in
// copies of DIGITS_COPY bytes, of which only the first ones count. Returns the length.
static int put_g_digits(char *text, int negative, uint64_t q, int precision, int x) {
  char d[DIGITS_ROOM] = {};
  if (q <= 0xFFFFFFFFu) {  // always for nine digits or fewer: 32-bit divisions
    uint32_t q32 = (uint32_t)q;
    for (int i = precision - 1; i >= 0; i--, q32 /= 10) d[i] = (char)('0' + q32 % 10);
  } else {
    for (int i = precision - 1; i >= 0; i--, q /= 10) d[i] = (char)('0' + q % 10);
  }
  int kept = precision;  // the digits left when the trailing zeros go; d[0] is never '0'
  while (kept > 1 && d[kept - 1] == '0') kept--;
  char *p = text;
  if (negative) *p++ = '-';
  if (x < -4 || x >= precision) {
    *p++ = d[0];
    if (kept > 1) {
      *p++ = '.';
      memcpy(p, d + 1, DIGITS_COPY);
      p += kept - 1;
    }
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    int e = x < 0 ? -x : x;
    if (e >= 100) *p++ = (char)('0' + e / 100);
    *p++ = (char)('0' + e / 10 % 10);
    *p++ = (char)('0' + e % 10);
  } else if (x >= 0) {  // the whole part is digits, zeros among them: x < precision
    memcpy(p, d, DIGITS_COPY);
    p += x + 1;
    if (kept > x + 1) {
      *p++ = '.';
      memcpy(p, d + x + 1, DIGITS_COPY);
      p += kept - x - 1;
    }
  } else {
    memcpy(p, "0.000000", 8);  // "0." and the -x - 1 zeros after the point, at most three
    p += 1 - x;
    memcpy(p, d, DIGITS_COPY);
    p += kept;
  }
  return (int)(p - text);
}

// The same for most values, in doubles: |v| times a power of ten up to 1e22, which a double
// holds exactly, is one rounding away from the exact product, less than margin; its integer
// part and its fraction are exact. Unless the fraction is within margin of one half, or the
// product near the ends of its precision digits (a wrong guess x), the exact product rounds
// to the same integer. Returns the length, or 0 to leave v to the integers.
static int rounded_in_doubles(char *text, int precision, double v, int x) {
  int s = precision - 1 - x;
  if (precision > 15 || s < -22 || s > 22) return 0;
  double a = fabs(v), power = POW10_GUESS.v[38 + (s < 0 ? -s : s)];  // exact up to 1e22
  double scaled = s >= 0 ? a * power : a / power;
  double low = POW10_GUESS.v[38 + precision - 1], high = POW10_GUESS.v[38 + precision];
  if (!(scaled >= low && scaled < high - 1.0)) return 0;
  double whole = (double)(uint64_t)scaled, fraction = scaled - whole;
  double margin = high * 0x1p-52;  // at least half an ulp of the product
  if (fabs(fraction - 0.5) <= margin) return 0;
  // Exactly low may stand for a product just below it, whose text is the same.
  return put_g_digits(text, v < 0, (uint64_t)whole + (fraction > 0.5), precision, x);
}

// "%.*g" of v into text, as above. Returns the length, or 0 for a value or precision left to
// std::to_chars: zero, subnormals, nan, inf, a precision above FAST_MAX_PRECISION, and the
// magnitudes whose fraction would not fit.
static int fast_general(char *text, int precision, double v) {
  if (precision < 1 || precision > FAST_MAX_PRECISION) return 0;
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  int biased = (int)((bits >> 52) & 0x7FF);
  if (biased == 0 || biased == 0x7FF) return 0;
  uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
  int e2 = biased - 1075;
  // |v| lies in [2^(e2 + 52), 2^(e2 + 53)), so X is about (e2 + 52) * log10(2) (78913 / 2^18,
  // shifted as a floor), or one more, which the table tells. A wrong guess shows in the
  // quotient's digit count.
  int x = (e2 + 52) * 78913 >> 18;
  if (x >= -39 && x <= 37 && fabs(v) >= POW10_GUESS.v[38 + x + 1]) x++;
  int len = rounded_in_doubles(text, precision, v, x);
  if (len > 0) return len;
  for (int guess = 0; guess < 3; guess++) {
    int s = precision - 1 - x;  // the power of ten that scales v to precision digits
    if (s > 38 || s < -38) return 0;
    u128 num = m, den = 1;
    if (s >= 0) {
      if (53 + bit_length(POW10.v[s]) > FAST_MAX_BITS) return 0;
      num *= POW10.v[s];
    } else {
      den = POW10.v[-s];
    }
    if (e2 >= 0) {
      if (bit_length(num) + e2 > FAST_MAX_BITS) return 0;
      num <<= e2;
    } else {
      if (bit_length(den) - e2 > FAST_MAX_BITS) return 0;
      den <<= -e2;
    }
    // A power of two divides by a shift: the values that reports print, between 1e-4 and
    // the precision's power of ten, all take it.
    u128 q, r;
    if (s >= 0 && e2 < 0) {
      q = num >> -e2;
      r = num & (den - 1);
    } else {
      q = num / den;
      r = num - q * den;
    }
    if (q >= POW10.v[precision]) {
      x++;
      continue;
    }
    if (q < POW10.v[precision - 1]) {
      x--;
      continue;
    }
    u128 twice = r << 1;
    if (twice > den || (twice == den && (q & 1) != 0)) q++;
    if (q == POW10.v[precision]) {  // 99999.5 becomes 1.0000e+05
      q = POW10.v[precision - 1];
      x++;
    }
    return put_g_digits(text, v < 0, (uint64_t)q, precision, x);
  }
  return 0;
}

static int put_general(char *buf, int size, int width, int precision, double v, int left) {
  if (width < 0) {
    left = 1;
    width = width == INT_MIN ? INT_MAX : -width;
  }
  if (precision < 0) precision = 6;
  if (precision > MAX_PRECISION) precision = MAX_PRECISION;
  char text[GENERAL_TEXT_SIZE];
  int len = fast_general(text, precision, v);
  if (len == 0) {
    std::to_chars_result r =
        std::to_chars(text, text + sizeof text, v, std::chars_format::general, precision);
    len = (int)(r.ptr - text);
  }
  return put_padded(buf, size, text, len, width, left);
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
