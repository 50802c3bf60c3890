// Numbers as text without printf: the bytes of "%*.*g", "%-*.*g" and "%d", and the shortest
// text that reads back to the same double, for the writers of reports, logs, tables and
// scripts. glibc's printf takes a multi-precision path for "%g"; std::to_chars does not.
#ifndef VELQUIN_NUMBER_FORMAT_H
#define VELQUIN_NUMBER_FORMAT_H

// Each function writes as snprintf(buf, size, ...) does: when the text needs size bytes or
// more, only its first size - 1 bytes are written; a NUL follows whenever size > 0, and
// nothing is written past buf[size - 1] (size <= 0 writes nothing). Each returns the length
// of the whole text, so a result >= size means the text was cut short.

// The bytes of snprintf(buf, size, "%*.*g", width, precision, v) for every double,
// "nan", "-nan", "inf" and "-inf" included. As with printf, a negative width aligns left and
// a negative precision means 6.
int format_general(char *buf, int size, int width, int precision, double v);

// The bytes of snprintf(buf, size, "%-*.*g", width, precision, v).
int format_general_left(char *buf, int size, int width, int precision, double v);

// The shortest text that strtod reads back to v ("0.1", "5e-324", "1e+22", "-0"); nan and
// inf as in format_general.
int format_shortest(char *buf, int size, double v);

// The bytes of snprintf(buf, size, "%d", v).
int format_int(char *buf, int size, int v);

#endif  // VELQUIN_NUMBER_FORMAT_H
