// The header's text, formatted in fixed-size blocks, and its whole-or-nothing file.

#include "kestrin/header_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "kestrin/bitmap_reader.h"
#include "kestrin/header_names.h"
#include "kestrin/messages.h"
#include "kestrin/pixel_pair.h"
#include "kestrin/pixel_pairs.h"
#include "platform/output_file.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kestrin {

namespace {

// Marks the temporaries of this program's outputs.
constexpr char kTempTag[] = ".kestrin-";

// The text is formatted into a block of its own and handed to the sink whole,
// so every write is one large, checked call. The block is the program's own,
// made once: one header is written at a time.
constexpr std::size_t kBlockSize = 128 * 1024;
char g_block[kBlockSize];
constexpr std::size_t kWordText = 12;      // "0xXXXXXXXX, "
constexpr std::size_t kPairsAtOnce = 512;  // encoded together, then formatted
// The most text that kPairsAtOnce pairs and their line ends take, and the
// four bytes past it that writing four words at once may touch.
constexpr std::size_t kChunkRoom = kPairsAtOnce * kWordText + kPairsAtOnce / 8 + 2 + 4;

struct TextBlock {
  ByteSink sink;
  char* data;
  std::size_t used;
  bool failed;
};

void flush_block(TextBlock* block) {
  if (!block->failed && block->used != 0 &&
      !block->sink.write(block->sink.context, block->data, block->used)) {
    block->failed = true;
  }
  block->used = 0;
}

void append(TextBlock* block, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    if (block->used == kBlockSize) flush_block(block);
    const std::size_t n = std::min(text.size() - done, kBlockSize - block->used);
    std::memcpy(block->data + block->used, text.data() + done, n);
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

#ifdef __SSE2__
// Writes "0xXXXXXXXX, " for four words at once, touching four bytes past them.
char* put_four_words(char* p, const std::uint32_t* words) {
  __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
  // Each word's bytes most significant first, then its digits in order.
  w = _mm_or_si128(_mm_slli_epi16(w, 8), _mm_srli_epi16(w, 8));
  w = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(w, 4), nibble);
  const __m128i low = _mm_and_si128(w, nibble);
  const auto to_text = [](__m128i digits) {
    const __m128i letters =
        _mm_and_si128(_mm_cmpgt_epi8(digits, _mm_set1_epi8(9)), _mm_set1_epi8(7));
    return _mm_add_epi8(_mm_add_epi8(digits, _mm_set1_epi8('0')), letters);
  };
  const __m128i first = to_text(_mm_unpacklo_epi8(high, low));   // words 0 and 1
  const __m128i second = to_text(_mm_unpackhi_epi8(high, low));  // words 2 and 3
  const __m128i frame = _mm_setr_epi8('0', 'x', 0, 0, 0, 0, 0, 0, 0, 0, ',', ' ', 0, 0, 0, 0);
  const __m128i digits[4] = {first, _mm_srli_si128(first, 8), second, _mm_srli_si128(second, 8)};
  for (const __m128i& d : digits) {
    const __m128i text = _mm_or_si128(frame, _mm_slli_si128(_mm_move_epi64(d), 2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), text);
    p += kWordText;
  }
  return p;
}
#endif

// One run of a row: Magic Pink pair by pair (each pair's rule reads and
// writes only its own two pixels), then the words, eight to a line counted
// from the row's start, and the line end when the run ends the row.
void append_run(TextBlock* block, const PixelRun& run, const MagicPink& magic) {
  static std::uint32_t words[kPairsAtOnce];  // the program's own, as the block
  for (std::size_t done = 0; done < run.pairs;) {
    const std::size_t count = std::min(run.pairs - done, kPairsAtOnce);
    std::uint8_t* pixels = run.pixels + 6 * done;
    if (magic.enabled) {
      for (std::size_t i = 0; i < count; ++i) {
        apply_magic_pink(pixels + 6 * i, pixels + 6 * i + 3, magic.key, magic.replacement);
      }
    }
    encode_pixel_pairs(pixels, count, words);
    if (kBlockSize - block->used < kChunkRoom) flush_block(block);
    char* p = block->data + block->used;
    std::uint64_t pair = run.first_pair + done;
    std::size_t i = 0;
#ifdef __SSE2__
    // Four at a time from a multiple of four on: a line then never ends
    // inside the four.
    for (; i < count && pair % 4 != 0; ++i, ++pair) {
      if (pair % 8 == 0 && pair != 0) *p++ = '\n';
      p = put_word(p, words[i]);
    }
    for (; i + 4 <= count; i += 4, pair += 4) {
      if (pair % 8 == 0 && pair != 0) *p++ = '\n';
      p = put_four_words(p, words + i);
    }
#endif
    for (; i < count; ++i, ++pair) {
      if (pair % 8 == 0 && pair != 0) *p++ = '\n';
      p = put_word(p, words[i]);
    }
    block->used = static_cast<std::size_t>(p - block->data);
    done += count;
  }
  if (run.ends_row) {
    if (block->used == kBlockSize) flush_block(block);
    block->data[block->used++] = '\n';
  }
}

}  // namespace

HeaderResult write_header_text(const std::string& input_path, PixelBuffer* pixels,
                               const MagicPink& magic, ByteSink sink) {
  TextBlock block{sink, g_block, 0, false};

  const std::string width = std::to_string(pixels->width);
  const std::string height = std::to_string(pixels->height);
  const std::string size =
      std::to_string(static_cast<std::uint64_t>(pixels->width) * pixels->height);
  const std::string defines = define_prefix(input_path);
  append(&block, "/*\n * File  : " + comment_safe_path(input_path) + "\n * Width : " + width +
                     "\n * Height: " + height + "\n*/\n");
  append(&block, "#define " + defines + "_WIDTH   (" + width + ")\n");
  append(&block, "#define " + defines + "_HEIGHT  (" + height + ")\n");
  append(&block, "#define " + defines + "_SIZE   (" + size + ")\n\n");
  // The bound counts pixels, twice the words that follow; the rest are zeros.
  append(&block,
         "const u32 " + array_prefix(input_path) + "_Bitmap[" + height + "*" + width + "]={\n");

  PixelRun run;
  for (;;) {
    const RunResult next = next_pixel_run(pixels, &run);
    if (next == RunResult::kEnd) break;
    if (next == RunResult::kReadFailed) return HeaderResult::kReadFailed;
    append_run(&block, run, magic);
    if (block.failed) return HeaderResult::kWriteFailed;
  }
  append(&block, "};\n/* END OF FILE */\n");
  flush_block(&block);
  return block.failed ? HeaderResult::kWriteFailed : HeaderResult::kWritten;
}

HeaderResult write_header_file(const std::string& input_path, const platform::InputFile& input,
                               PixelBuffer* pixels, const MagicPink& magic, std::FILE* console) {
  const std::string output_path = output_path_for(input_path);
  platform::OutputFile output;
  switch (platform::create_output(output_path, kTempTag, {&input}, &output)) {
    case platform::CreateResult::kCreated:
      break;
    case platform::CreateResult::kIsInput:
      std::fprintf(console, kSameFile, input_path.c_str());
      return HeaderResult::kIsInput;
    case platform::CreateResult::kCannotCreate:
      std::fprintf(console, kOutputOpenError, output_path.c_str());
      return HeaderResult::kCannotCreate;
  }
  std::fprintf(console, kOutputFile, output_path.c_str());
  HeaderResult result =
      write_header_text(input_path, pixels, magic, platform::output_sink(&output));
  if (result == HeaderResult::kWritten && !platform::commit_output(&output)) {
    result = HeaderResult::kWriteFailed;
  }
  if (result != HeaderResult::kWritten) platform::discard_output(&output);
  if (result == HeaderResult::kReadFailed) std::fputs(kImageReadFailed, console);
  if (result == HeaderResult::kWriteFailed) {
    std::fprintf(console, kOutputWriteError, output_path.c_str());
  }
  return result;
}

}  // namespace kestrin
