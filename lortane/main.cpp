#include "lortane/string_array.h"

int main(int argc, char** argv) { return lortane::run_string_array(argc, argv); }
