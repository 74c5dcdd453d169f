#include "kestrin/header_writer.h"

#include <cstdint>

#include "kestrin/header_names.h"
#include "kestrin/messages.h"
#include "kestrin/output_file.h"
#include "kestrin/pixel_pair.h"

namespace {

// Text is built in memory and handed to the stream in large blocks.
constexpr std::size_t kBlockSize = 1 << 18;
constexpr std::size_t kWordsPerLine = 8;
constexpr std::size_t kWordText = 12;  // "0x%08X, "
constexpr std::size_t kLineRoom = kWordsPerLine * kWordText + 1;

struct TextBlock {
  std::FILE* out;
  std::string text;
  bool failed = false;
};

void flush_block(TextBlock* block) {
  if (!block->failed && !block->text.empty() &&
      std::fwrite(block->text.data(), 1, block->text.size(), block->out) != block->text.size()) {
    block->failed = true;
  }
  block->text.clear();
}

void append(TextBlock* block, const std::string& text) {
  block->text += text;
  if (block->text.size() >= kBlockSize) flush_block(block);
}

// Writes "0xXXXXXXXX, " (upper-case, eight digits) at `p`.
char* put_word(char* p, std::uint32_t word) {
  static const char kDigits[] = "0123456789ABCDEF";
  p[0] = '0';
  p[1] = 'x';
  for (int i = 0; i < 8; ++i) p[2 + i] = kDigits[(word >> (28 - 4 * i)) & 0xF];
  p[10] = ',';
  p[11] = ' ';
  return p + kWordText;
}

// One picture row: pairs left to right, a line break before every ninth word.
void append_row(TextBlock* block, std::uint8_t* row, std::uint32_t width, const MagicPink& magic) {
  for (std::uint32_t i = 0; i < width;) {
    if (block->text.size() + kLineRoom > kBlockSize) flush_block(block);
    const std::size_t start = block->text.size();
    block->text.resize(start + kLineRoom);
    char* p = &block->text[start];
    if (i > 0) *p++ = '\n';
    for (std::size_t w = 0; w < kWordsPerLine && i < width; ++w, i += 2) {
      std::uint8_t* left = row + 3 * static_cast<std::size_t>(i);
      std::uint8_t* right = left + 3;
      if (magic.enabled) apply_magic_pink(left, right, magic.key, magic.replacement);
      p = put_word(p, encode_pixel_pair(left[2], left[1], left[0], right[2], right[1], right[0]));
    }
    block->text.resize(static_cast<std::size_t>(p - block->text.data()));
  }
  append(block, "\n");
}

}  // namespace

bool write_header_text(std::FILE* out, const std::string& input_path, PixelBuffer& pixels,
                       const MagicPink& magic) {
  const std::string width = std::to_string(pixels.width);
  const std::string height = std::to_string(pixels.height);
  const std::string size = std::to_string(static_cast<std::uint64_t>(pixels.width) * pixels.height);
  const std::string defines = define_prefix(input_path);

  TextBlock block{out, std::string(), false};
  block.text.reserve(kBlockSize + kLineRoom);
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
    append_row(&block, pixels.bytes.get() + r * row_bytes, pixels.width, magic);
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
