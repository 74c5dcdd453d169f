#include "fuzz/text_cookie.h"

#include <cstdlib>
#include <string>

namespace {

struct Cookie {
  TextTaker take;
  void* context;
};

ssize_t write_cookie(void* cookie, const char* data, std::size_t size) {
  auto* c = static_cast<Cookie*>(cookie);
  return c->take(c->context, data, size) ? static_cast<ssize_t>(size) : -1;
}

int close_cookie(void* cookie) {
  delete static_cast<Cookie*>(cookie);
  return 0;
}

}  // namespace

std::FILE* open_text_cookie(TextTaker take, void* context) {
  cookie_io_functions_t functions{};
  functions.write = write_cookie;
  functions.close = close_cookie;
  std::FILE* stream = fopencookie(new Cookie{take, context}, "w", functions);
  if (stream == nullptr) std::abort();
  return stream;
}
