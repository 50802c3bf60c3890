// Tests of the number formatter: byte for byte the C library's snprintf over a seeded random
// sample and the values where "%g" is hard to get right, and shortest texts that read back.
#include "number_format.h"

#include <float.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

namespace {

// Rounding at five digits, the switch to the exponent form below 1e-4 and at 1e5, binary
// ties, subnormals and the ends of the range; each also negated, nan as -nan.
const double edge_values[] = {
    0.0,     INFINITY,   NAN,         5e-324,       2.2250738585072009e-308,
    DBL_MIN, DBL_MAX,    99999.5,     99999.499999, 99994.5,
    99995.0, 9.99995e-5, 0.000099999, 1e-5,         9.99995e-6,
    0.0001,  1.00005,    12344.5,     12345.5,      1e5,
    0.1,     0.5,        2.5,         1e15,         1e17,
    1e22,    1e23,       3.14159265};

double from_bits(uint64_t bits) {
  double v;
  memcpy(&v, &bits, sizeof v);
  return v;
}

// The double nearest digits * 10^exponent.
double from_text(long long digits, int exponent) {
  char text[64];
  snprintf(text, sizeof text, "%llde%d", digits, exponent);
  return strtod(text, NULL);
}

uint64_t bits_of(double v) {
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  return bits;
}

// Each value with its negative and with ulps neighbours on each side.
void add(std::vector<double> *values, double v, int ulps) {
  for (double x : {v, -v}) {
    values->push_back(x);
    double down = x, up = x;
    for (int i = 0; i < ulps; i++) {
      values->push_back(down = nextafter(down, -INFINITY));
      values->push_back(up = nextafter(up, INFINITY));
    }
  }
}

const std::vector<double> &sample() {
  static std::vector<double> values;
  if (!values.empty()) return values;
  for (double v : edge_values) add(&values, v, 3);
  for (int e = -324; e <= 308; e++) add(&values, from_text(1, e), 2);
  std::mt19937_64 rng(20240611);
  for (int i = 0; i < 60000; i++) {
    // Any bit pattern: every exponent, subnormals, nan payloads.
    values.push_back(from_bits(rng()));
    // A decimal of one to nine digits.
    long long digits = (long long)(rng() % 1000000000) / (long long)pow(10, rng() % 9);
    values.push_back(from_text(digits, (int)(rng() % 61) - 30));
    // Halfway between two five-digit texts, and its neighbours.
    long long five = 10000 + (long long)(rng() % 90000);
    add(&values, from_text(10 * five + 5, (int)(rng() % 41) - 25), 1);
    // Exact binary ties at five digits: 12344.5, 1234.25, ..., 1.03125, 1234550.
    int bits = 1 + (int)(rng() % 5);
    double low = pow(10, 5 - bits);  // the whole part has 6 - bits digits
    double whole = low + (double)(rng() % (uint64_t)(9 * low));
    values.push_back(whole + (double)(2 * (rng() % (1u << (bits - 1))) + 1) / (1 << bits));
    values.push_back(from_text(10 * five + 5, (int)(rng() % 10)));
  }
  return values;
}

struct general_row {
  int width, precision, left;
  int stride;  // every stride-th value of the sample
};

// clang-format off
const general_row general_rows[] = {
//  width  precision  left  stride
  {  10,     5,        0,     1},   // the reports' columns
  {  10,     5,        1,     1},   // the report's RMSE
  {   0,     5,        0,     1},
  {   0,     6,        0,     1},
  {   0,     1,        0,     5},   // each precision of the integer path, 1 to 17
  {   0,     2,        0,     5},
  {   0,     3,        0,     5},
  {   0,     4,        0,     5},
  {   0,     9,        0,     5},
  {   0,    15,        0,     3},
  {   0,    16,        0,     5},
  {   0,    17,        0,     3},
  {   0,    18,        0,     7},   // past it: std::to_chars alone
  {   0,     0,        0,     7},   // taken as 1
  { -12,     3,        0,     7},   // a negative width aligns left
  {  25,    -1,        1,     7},   // a negative precision means 6
  {   0,   1100,       0,   499},   // past every double's digits
  {   0,   767,        1,   499},
};
// clang-format on

TEST(format_general, writes_what_snprintf_writes) {
  static char ours[2048], theirs[2048];
  long compared = 0;
  int failures = 0;
  const std::vector<double> &values = sample();
  for (const general_row &row : general_rows) {
    for (size_t i = 0; i < values.size(); i += (size_t)row.stride) {
      double v = values[i];
      int n = row.left ? format_general_left(ours, sizeof ours, row.width, row.precision, v)
                       : format_general(ours, sizeof ours, row.width, row.precision, v);
      int m = snprintf(theirs, sizeof theirs, row.left ? "%-*.*g" : "%*.*g", row.width,
                       row.precision, v);
      compared++;
      if ((n != m || memcmp(ours, theirs, (size_t)m + 1) != 0) && ++failures <= 10) {
        ADD_FAILURE() << "width " << row.width << " precision " << row.precision << " left "
                      << row.left << " bits " << std::hex << bits_of(v) << std::dec << ": \""
                      << ours << "\" for \"" << theirs << "\"";
      }
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(compared, 2000000);
}

// Every short buffer gets snprintf's bytes and result, and nothing past its end changes.
TEST(format_general, cuts_short_as_snprintf_does) {
  const std::vector<double> &values = sample();
  std::mt19937 rng(7);
  for (size_t i = 0; i < values.size(); i += 101) {
    int v = i == 0 ? INT_MIN : (int)rng() >> (rng() % 32);
    for (int size = 0; size <= 12; size++) {
      for (int kind = 0; kind < 3; kind++) {
        char ours[16], theirs[16];
        memset(ours, '#', sizeof ours);
        memset(theirs, '#', sizeof theirs);
        int n, m;
        if (kind == 2) {
          n = format_int(ours, size, v);
          m = snprintf(theirs, (size_t)size, "%d", v);
        } else {
          n = kind ? format_general_left(ours, size, 10, 5, values[i])
                   : format_general(ours, size, 10, 5, values[i]);
          m = snprintf(theirs, (size_t)size, kind ? "%-10.5g" : "%10.5g", values[i]);
        }
        ASSERT_EQ(n, m) << "size " << size << " kind " << kind;
        ASSERT_EQ(memcmp(ours, theirs, sizeof ours), 0) << "size " << size << " kind " << kind;
      }
    }
  }
  char buf[4];
  EXPECT_EQ(format_int(buf, sizeof buf, INT_MIN), 11);
  EXPECT_EQ(format_shortest(buf, sizeof buf, 5e-324), 6);
  EXPECT_STREQ(buf, "5e-");
}

TEST(format_shortest, reads_back_to_the_same_double) {
  char text[64];
  int failures = 0;
  for (double v : sample()) {
    if (isnan(v)) continue;
    format_shortest(text, sizeof text, v);
    double back = strtod(text, NULL);
    if (memcmp(&back, &v, sizeof v) != 0 && ++failures <= 10) {
      ADD_FAILURE() << "\"" << text << "\" for bits " << std::hex << bits_of(v);
    }
  }
  EXPECT_EQ(failures, 0);
  struct {
    double v;
    const char *text;
  } rows[] = {{5e-324, "5e-324"}, {0.1, "0.1"},   {1e22, "1e+22"},
              {1000.0, "1000"},   {1e5, "1e+05"}, {-0.0, "-0"},
              {INFINITY, "inf"},  {-NAN, "-nan"}, {DBL_MAX, "1.7976931348623157e+308"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(format_shortest(text, sizeof text, row.v), (int)strlen(row.text));
    EXPECT_STREQ(text, row.text);
  }
}

}  // namespace
