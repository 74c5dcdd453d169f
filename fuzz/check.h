// The harnesses' data checks: a failed one ends the input with its message.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

// Messages are built only for a failure: these checks run for every byte.
inline void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

template <typename Message>
void check(bool condition, const Message& what) {
  if (!condition) fail(what());
}
