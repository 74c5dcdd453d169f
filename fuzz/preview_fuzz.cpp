// Fuzz target for kestrin-preview's header reader: any text is read in
// bounded memory and either refused with a problem that says where, or
// accepted; an accepted header, written again as Kestrin writes it, reads
// back to the same size and the same words.
//
// The first byte chooses the source: bit 0 a pipe instead of a file, bits 1
// to 7 how many bytes each read hands out (all of them for 0).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "kestrin/preview/header_reader.h"
#include "platform/memory_streams.h"

namespace {

using kestrin::preview::HeaderProblem;
using kestrin::preview::HeaderShape;
using kestrin::preview::HeaderText;

// Words of one read; a header that announces more is read in pieces.
constexpr std::size_t kPiece = 4096;

struct Read {
  bool ok = false;
  HeaderShape shape;
  HeaderProblem problem;
  std::vector<std::uint32_t> words;
};

Read read_header(const std::uint8_t* data, std::size_t size, bool seekable, std::size_t max_read) {
  platform::MemoryInput memory;
  memory.data = data;
  memory.size = size;
  memory.max_read = max_read;
  HeaderText text;
  Read read;
  kestrin::preview::open_header_text(&text, platform::memory_source(&memory, seekable));
  if (!kestrin::preview::read_header_head(&text, &read.shape, &read.problem)) return read;
  // Every word takes at least three bytes ("0x0"), so this bounds the memory.
  for (std::uint64_t left = read.shape.words; left > 0;) {
    const std::size_t count = left < kPiece ? static_cast<std::size_t>(left) : kPiece;
    const std::size_t at = read.words.size();
    read.words.resize(at + count);
    if (!kestrin::preview::read_header_words(&text, read.words.data() + at, count, &read.problem)) {
      return read;
    }
    check(read.words.size() <= size / 3, "more words than the text can hold");
    left -= count;
  }
  read.ok = kestrin::preview::read_header_tail(&text, &read.problem);
  return read;
}

// The header as Kestrin writes it for a picture of that size and those words.
std::string kestrin_text(const HeaderShape& shape, const std::vector<std::uint32_t>& words) {
  const std::string w = std::to_string(shape.width), h = std::to_string(shape.height);
  std::string text = "/*\n * File  : fuzz.bmp\n * Width : " + w + "\n * Height: " + h +
                     "\n*/\n#define FUZZ_WIDTH   (" + w + ")\n#define FUZZ_HEIGHT  (" + h +
                     ")\n#define FUZZ_SIZE   (" +
                     std::to_string(std::uint64_t{shape.width} * shape.height) +
                     ")\n\nconst u32 fuzz_Bitmap[" + h + "*" + w + "]={\n";
  const std::size_t per_row = shape.width / 2;
  std::size_t next = 0;
  char word[16];
  for (std::uint32_t row = 0; row < shape.height; ++row) {
    for (std::size_t i = 0; i < per_row; ++i) {
      if (i > 0 && i % 8 == 0) text += '\n';
      std::snprintf(word, sizeof word, "0x%08X, ", static_cast<unsigned>(words[next++]));
      text += word;
    }
    text += '\n';
  }
  return text + "};\n/* END OF FILE */\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool seekable = (data[0] & 1) == 0;
  const std::size_t max_read = data[0] >> 1;
  const Read read = read_header(data + 1, size - 1, seekable, max_read);
  if (!read.ok) {
    check(read.problem.kind != HeaderProblem::Kind::kNone, "a refusal without a problem");
    check(read.problem.kind != HeaderProblem::Kind::kUnexpected ||
              (read.problem.line >= 1 && !read.problem.expected.empty()),
          "an unexpected token without its line or what was expected");
    return 0;
  }
  check(read.shape.width % 2 == 0 && read.words.size() == read.shape.words &&
            read.shape.words == std::uint64_t{read.shape.width} * read.shape.height / 2,
        "an accepted header's size and words disagree");
  const std::string again = kestrin_text(read.shape, read.words);
  const Read back =
      read_header(reinterpret_cast<const std::uint8_t*>(again.data()), again.size(), true, 0);
  check(back.ok, [&] { return "Kestrin's spelling of an accepted header is refused:\n" + again; });
  check(back.shape.width == read.shape.width && back.shape.height == read.shape.height &&
            back.words == read.words,
        "Kestrin's spelling of an accepted header reads back otherwise");
  return 0;
}
