// The program entry: arguments in, one preparation, exit status out.

#include <cstdio>

#include "kestrin/prepare/prepare.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::prepare_process(&argc, &argv);
  const int status = kestrin::prepare::run_prepare(argc, argv);
  std::fflush(stdout);
  return status;
}
