// The three converters, each a row for run_converter: its name, its texts and its
// do_convert. A program's main runs its row; a test or a fuzz target runs it the same way.
#ifndef VELQUIN_CONVERTERS_H
#define VELQUIN_CONVERTERS_H

#include "conv_io.h"

extern const converter zarn2crv_converter;
extern const converter colcrv_converter;
extern const converter qv2crv_converter;

#endif  // VELQUIN_CONVERTERS_H
