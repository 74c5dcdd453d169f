// The program entry: arguments in, one conversion, exit status out.

#include "lortane/string_array.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::prepare_process(&argc, &argv);
  return lortane::run_string_array(argc, argv);
}
