// colcrv: the program; what it does is its row in colcrv_convert.cc.
#include "converters.h"

int main(int argc, char **argv) { return run_converter(argc, argv, &colcrv_converter); }
