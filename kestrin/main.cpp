#include <cstdio>

#include "kestrin/converter.h"

int main(int argc, char** argv) {
  const int status = run_converter(argc, argv);
  std::fflush(stdout);
  return status;
}
