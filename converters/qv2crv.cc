// qv2crv: the program; what it does is its row in qv2crv_convert.cc.
#include "converters.h"

int main(int argc, char **argv) { return run_converter(argc, argv, &qv2crv_converter); }
