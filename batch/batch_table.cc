// The table writer. Each line is formed whole in a buffer, so that the table on disk holds
// only whole rows at any moment.
#include "batch_table.h"

#include <stdio.h>
#include <string.h>

#include <charconv>

#include "models.h"
#include "reports.h"

const char *const batch_status_names[3] = {"ok", "failed", "refused"};

namespace {

// Appends to a buffer of fixed size; a text that does not fit marks it full.
struct line_buf {
  char *p;
  char *end;
  int full;
};

void put(line_buf *b, const char *text, size_t len) {
  if (b->full || (size_t)(b->end - b->p) < len) {
    b->full = 1;
    return;
  }
  memcpy(b->p, text, len);
  b->p += len;
}

void put_text(line_buf *b, const char *text) { put(b, text, strlen(text)); }

void put_number(line_buf *b, double v) {
  char digits[32];
  std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, shown(v));
  put(b, digits, (size_t)(r.ptr - digits));
}

void put_int(line_buf *b, int v) {
  char digits[16];
  std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
  put(b, digits, (size_t)(r.ptr - digits));
}

// A label of the catalogue, "Vo(1)....:", as a column name: "Vo(1)".
void put_label(line_buf *b, const char *label) {
  size_t len = strlen(label);
  while (len > 0 && (label[len - 1] == '.' || label[len - 1] == ':')) len--;
  put(b, label, len);
}

int finish(line_buf *b, char *buf) {
  put(b, "\n", 1);
  return b->full ? -1 : (int)(b->p - buf);
}

}  // namespace

int table_header(char *buf, int size, int model) {
  line_buf b = {buf, buf + size, 0};
  put_text(&b, "id\tstatus\titerations\trmse");
  for (int i = 0; i < fitParmNum[model]; i++) {
    put_text(&b, "\t");
    put_label(&b, fitParmStr[model][i]);
    put_text(&b, "\t");
    put_label(&b, fitParmStr[model][i]);
    put_text(&b, "_sd");
  }
  put_text(&b, "\tmessage");
  return finish(&b, buf);
}

int table_row(char *buf, int size, int id, int status, const char *message) {
  line_buf b = {buf, buf + size, 0};
  int n = fitParmNum[fitFunc];
  put_int(&b, id);
  put_text(&b, "\t");
  put_text(&b, batch_status_names[status]);
  if (status == BATCH_REFUSED) {
    for (int i = 0; i < 2 + 2 * n; i++) put_text(&b, "\t");
  } else {
    put_text(&b, "\t");
    put_int(&b, itCount);
    put_text(&b, "\t");
    put_number(&b, rmse);
    for (int i = 0; i < n; i++) {
      put_text(&b, "\t");
      put_number(&b, fitParms[i]);
      put_text(&b, "\t");
      put_number(&b, fitStdDev[i]);
    }
  }
  put_text(&b, "\t");
  // A message without its line feed, and nothing that would split or quote the field.
  size_t len = message != NULL ? strlen(message) : 0;
  while (len > 0 && (message[len - 1] == '\n' || message[len - 1] == '\r')) len--;
  for (size_t i = 0; i < len; i++) {
    char c = message[i];
    put(&b, c == '\t' || c == '\n' || c == '\r' || c == '"' ? " " : &c, 1);
  }
  return finish(&b, buf);
}
