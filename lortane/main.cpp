// The program entry: arguments in, one conversion, exit status out.

#include "lortane/process.h"
#include "lortane/string_array.h"

int main(int argc, char** argv) {
  lortane::prepare_process(&argc, &argv);
  return lortane::run_string_array(argc, argv);
}
