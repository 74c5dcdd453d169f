// The program entry: arguments in, one preview, exit status out.

#include <cstdio>

#include "kestrin/preview/preview.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::prepare_process(&argc, &argv);
  const int status = kestrin::preview::run_preview(argc, argv);
  std::fflush(stdout);
  return status;
}
