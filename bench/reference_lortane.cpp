// The straightforward converter the benchmark measures against: fgets into a
// 1024-byte buffer and one formatted-output call per element. No escaping, so
// it matches only on texts that need none.

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  std::FILE* in = std::fopen(argv[2], "r");
  std::FILE* out = std::fopen(argv[3], "w");
  if (in == nullptr || out == nullptr) return 2;
  std::fprintf(out, "// This file automatically generated from: %s\n", argv[2]);
  std::fprintf(out, "const char * %s [] = {\n", argv[1]);
  char line[1024];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    if (char* newline = std::strchr(line, '\n')) *newline = '\0';
    std::fprintf(out, "\"%s\",\n", line);
  }
  std::fprintf(out, "NULL\n};\n");
  std::fclose(in);
  std::fclose(out);
  return 0;
}
