#include "kestrin/header_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "kestrin/header_names.h"
#include "kestrin/messages.h"
#include "kestrin/output_file.h"
#include "kestrin/pixel_pair.h"
#include "kestrin/pixel_pairs.h"

namespace {

// Text is built in memory and handed to the stream in large blocks, so the
// stream adds no copy and every write is one checked call.
constexpr std::size_t kBlockSize = 1 << 18;
constexpr std::uint32_t kPairsPerLine = 8;
constexpr std::size_t kWordText = 12;  // "0x%08X, "
constexpr std::size_t kLineRoom = kPairsPerLine * kWordText + 1;

struct TextBlock {
  std::FILE* out;
  std::unique_ptr<char[]> data;
  std::size_t used;
  bool failed;
};

void flush_block(TextBlock* block) {
  if (!block->failed && block->used != 0 &&
      std::fwrite(block->data.get(), 1, block->used, block->out) != block->used) {
    block->failed = true;
  }
  block->used = 0;
}

void append(TextBlock* block, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    if (block->used == kBlockSize) flush_block(block);
    const std::size_t n = std::min(text.size() - done, kBlockSize - block->used);
    std::memcpy(block->data.get() + block->used, text.data() + done, n);
    block->used += n;
    done += n;
  }
}

// Upper-case hexadecimal digit pairs for every byte value.
struct HexPairs {
  char digits[256][2];
};

constexpr HexPairs make_hex_pairs() {
  HexPairs table{};
  const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 256; ++i) {
    table.digits[i][0] = kDigits[i >> 4];
    table.digits[i][1] = kDigits[i & 0xF];
  }
  return table;
}

constexpr HexPairs kHex = make_hex_pairs();

// Writes "0xXXXXXXXX, " at `p`.
char* put_word(char* p, std::uint32_t word) {
  p[0] = '0';
  p[1] = 'x';
  std::memcpy(p + 2, kHex.digits[word >> 24], 2);
  std::memcpy(p + 4, kHex.digits[(word >> 16) & 0xFF], 2);
  std::memcpy(p + 6, kHex.digits[(word >> 8) & 0xFF], 2);
  std::memcpy(p + 8, kHex.digits[word & 0xFF], 2);
  p[10] = ',';
  p[11] = ' ';
  return p + kWordText;
}

// Repaints the lone key pixels of every pair of a row; each pair's rule reads
// and writes only its own two pixels, so a row can be done before encoding.
void apply_magic_pink_to_row(std::uint8_t* row, std::uint32_t pairs, const MagicPink& magic) {
  for (std::uint32_t pair = 0; pair < pairs; ++pair) {
    std::uint8_t* left = row + 6 * static_cast<std::size_t>(pair);
    apply_magic_pink(left, left + 3, magic.key, magic.replacement);
  }
}

// One picture row: pairs left to right, eight words a line, then a line end.
void append_row(TextBlock* block, const std::uint8_t* row, std::uint32_t pairs) {
  std::uint32_t words[kPairsPerLine];
  for (std::uint32_t pair = 0; pair < pairs;) {
    if (kBlockSize - block->used < kLineRoom) flush_block(block);
    char* p = block->data.get() + block->used;
    if (pair > 0) *p++ = '\n';
    const std::uint32_t count = std::min(pairs - pair, kPairsPerLine);
    encode_pixel_pairs(row + 6 * static_cast<std::size_t>(pair), count, words);
    for (std::uint32_t i = 0; i < count; ++i) p = put_word(p, words[i]);
    pair += count;
    block->used = static_cast<std::size_t>(p - block->data.get());
  }
  if (block->used == kBlockSize) flush_block(block);
  block->data[block->used++] = '\n';
}

}  // namespace

bool write_header_text(std::FILE* out, const std::string& input_path, PixelBuffer& pixels,
                       const MagicPink& magic) {
  const std::string width = std::to_string(pixels.width);
  const std::string height = std::to_string(pixels.height);
  const std::string size = std::to_string(static_cast<std::uint64_t>(pixels.width) * pixels.height);
  const std::string defines = define_prefix(input_path);

  TextBlock block{out, std::make_unique<char[]>(kBlockSize), 0, false};
  append(&block, "/*\n * File  : " + comment_safe_path(input_path) + "\n * Width : " + width +
                     "\n * Height: " + height + "\n*/\n");
  append(&block, "#define " + defines + "_WIDTH   (" + width + ")\n");
  append(&block, "#define " + defines + "_HEIGHT  (" + height + ")\n");
  append(&block, "#define " + defines + "_SIZE   (" + size + ")\n\n");
  // The bound counts pixels, twice the words that follow; the rest are zeros.
  append(&block,
         "const u32 " + array_prefix(input_path) + "_Bitmap[" + height + "*" + width + "]={\n");

  const std::size_t row_bytes = 3 * static_cast<std::size_t>(pixels.width);
  for (std::uint32_t r = pixels.height; r-- > 0;) {
    std::uint8_t* row = pixels.bytes.get() + r * row_bytes;
    if (magic.enabled) apply_magic_pink_to_row(row, pixels.width / 2, magic);
    append_row(&block, row, pixels.width / 2);
    if (block.failed) return false;
  }
  append(&block, "};\n/* END OF FILE */\n");
  flush_block(&block);
  return !block.failed;
}

bool write_header_file(const std::string& input_path, PixelBuffer& pixels, const MagicPink& magic,
                       std::FILE* console) {
  const std::string output_path = output_path_for(input_path);
  OutputFile file;
  if (!open_output_file(output_path, &file)) {
    std::fprintf(console, msg::kOutputOpenError, output_path.c_str());
    return false;
  }
  std::fprintf(console, msg::kOutputFile, output_path.c_str());
  if (!write_header_text(file.stream, input_path, pixels, magic) || !commit_output_file(&file)) {
    discard_output_file(&file);
    std::fprintf(console, msg::kOutputWriteError, output_path.c_str());
    return false;
  }
  return true;
}
