// Mutants of a header, read by the preview's reader and, where it takes
// them, compiled by the C compiler: every header the reader takes must
// compile, to the size and the words the reader read.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kestrin/preview/header_reader.h"
#include "platform/memory_streams.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

// Line comments, CR LF, a comment inside a define, and the shape Kestrin writes.
const std::string kHeader =
    "/*p*/\n#define PIC_WIDTH (4)\n#define PIC_HEIGHT (2) //r\r\n#define PIC_SIZE/**/(8)\n"
    "const u32 pic_Bitmap[2*4]={\n0x4C6A00BF, 0x1DBFFF75,\n0xFF80FF80,\f0x00800080,\n};/*e*/\n";

// What may change how the compiler reads the lines, and plain text.
const char* const kInserted[] = {"\\\n", "\\ \n", "?\?/\n", "\r", "\f", "\n", "\r\n",
                                 "//",   "/*",    "*/",     "#",  "(",  " "};

struct Read {
  bool ok = false;
  std::vector<std::uint32_t> numbers;  // width, height, width x height, then the words
};

Read read_header(const std::string& text) {
  platform::MemoryInput input{reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 0,
                              0};
  kestrin::preview::HeaderText header;
  kestrin::preview::HeaderShape shape;
  kestrin::preview::HeaderProblem problem;
  kestrin::preview::open_header_text(&header, platform::memory_source(&input, true));
  Read read;
  if (!kestrin::preview::read_header_head(&header, &shape, &problem)) return read;
  std::vector<std::uint32_t> words(shape.words);
  if (!kestrin::preview::read_header_words(&header, words.data(), words.size(), &problem) ||
      !kestrin::preview::read_header_tail(&header, &problem)) {
    return read;
  }
  read.ok = true;
  read.numbers = {shape.width, shape.height, shape.width * shape.height};
  read.numbers.insert(read.numbers.end(), words.begin(), words.end());
  return read;
}

// The values after `label` in the compiler's assembly, each ".long".
std::vector<std::uint32_t> longs_after(const std::string& assembly, const std::string& label) {
  std::vector<std::uint32_t> values;
  std::istringstream lines(assembly);
  std::string line;
  bool in = false;
  while (std::getline(lines, line)) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && line[0] != '\t' && line[0] != ' ') {
      const std::string name = line.substr(0, colon);
      in = name.size() >= label.size() &&
           name.compare(name.size() - label.size(), label.size(), label) == 0;
    } else if (in && line.find(".long") != std::string::npos) {
      values.push_back(static_cast<std::uint32_t>(
          std::strtoll(line.c_str() + line.find(".long") + 5, nullptr, 10)));
    }
  }
  return values;
}

std::string shown(const std::string& text) {
  std::string s;
  for (const char c : text) {
    if (c == '\n')
      s += "\\n";
    else if (c == '\r')
      s += "\\r";
    else if (c == '\f')
      s += "\\f";
    else if (c == '\v')
      s += "\\v";
    else
      s += c;
  }
  return s;
}

TEST(HeaderCompile, EveryHeaderReadCompilesToTheWordsRead) {
  std::set<std::string> mutants;
  for (std::size_t at = 0; at <= kHeader.size(); ++at) {
    for (const char* text : kInserted)
      mutants.insert(kHeader.substr(0, at) + text + kHeader.substr(at));
    if (at < kHeader.size()) mutants.insert(kHeader.substr(0, at) + kHeader.substr(at + 1));
  }
  // Each accepted mutant in a translation unit of its own, all compiled by
  // one run of the compiler.
  TempFolder folder;
  std::vector<std::pair<std::string, Read>> accepted;
  std::string units;
  for (const std::string& mutant : mutants) {
    const Read read = read_header(mutant);
    if (!read.ok) continue;
    const std::string name = "m" + std::to_string(accepted.size());
    write_file(folder.path + "/" + name + ".h", mutant);
    write_file(folder.path + "/" + name + ".c",
               "#include <stdint.h>\ntypedef uint32_t u32;\n#include \"" + name +
                   ".h\"\nconst u32 kl_shape[3] = {PIC_WIDTH, PIC_HEIGHT, PIC_SIZE};\n");
    units += " " + name + ".c";
    accepted.emplace_back(mutant, read);
  }
  ASSERT_GT(accepted.size(), 100u) << "the mutants hardly test the reader";
  run_shell(std::string(C_COMPILER) + " -std=c99 -pedantic-errors -S" + units + " 2>/dev/null",
            folder.path);
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    bool compiled = false;
    const std::string assembly =
        read_file(folder.path + "/m" + std::to_string(i) + ".s", &compiled);
    const std::string& mutant = accepted[i].first;
    ASSERT_TRUE(compiled) << "read, but the compiler refuses it:\n" << shown(mutant);
    std::vector<std::uint32_t> numbers = longs_after(assembly, "kl_shape");
    const std::vector<std::uint32_t> words = longs_after(assembly, "_Bitmap");
    numbers.insert(numbers.end(), words.begin(), words.end());
    EXPECT_EQ(numbers, accepted[i].second.numbers) << shown(mutant);
  }
}

}  // namespace
