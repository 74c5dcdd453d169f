// The program entry: arguments in, one conversion, exit status out.

#include <cstdio>

#include "kestrin/converter.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::prepare_process(&argc, &argv);
  const int status = kestrin::run_converter(argc, argv);
  std::fflush(stdout);
  return status;
}
