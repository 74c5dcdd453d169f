// The picture decoder, stb_image, behind the picture reader: its formats,
// its memory, and the checks it does not make itself.

#include "kestrin/prepare/picture_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "kestrin/prepare/bmp_layout.h"
#include "kestrin/prepare/png_check.h"

namespace kestrin::prepare {
namespace {

// What the decoder may still allocate, in bytes, and whether it has asked for
// more. One picture is decoded at a time.
std::size_t g_budget = 0;
bool g_over_budget = false;

// Each block remembers its size, so that freeing it gives the budget back.
struct alignas(std::max_align_t) BlockHead {
  std::size_t size;
};

void* budget_malloc(std::size_t size) {
  if (size > g_budget) {
    g_over_budget = true;
    return nullptr;
  }
  auto* head = static_cast<BlockHead*>(std::malloc(sizeof(BlockHead) + size));
  if (head == nullptr) return nullptr;
  head->size = size;
  g_budget -= size;
  return head + 1;
}

void budget_free(void* block) {
  if (block == nullptr) return;
  BlockHead* head = static_cast<BlockHead*>(block) - 1;
  g_budget += head->size;
  std::free(head);
}

void* budget_realloc(void* block, std::size_t size) {
  if (block == nullptr) return budget_malloc(size);
  BlockHead* head = static_cast<BlockHead*>(block) - 1;
  const std::size_t old_size = head->size;
  if (size > old_size && size - old_size > g_budget) {
    g_over_budget = true;
    return nullptr;
  }
  auto* moved = static_cast<BlockHead*>(std::realloc(head, sizeof(BlockHead) + size));
  if (moved == nullptr) return nullptr;
  moved->size = size;
  g_budget = g_budget + old_size - size;
  return moved + 1;
}

}  // namespace
}  // namespace kestrin::prepare

// Only the two formats artists export for this; each reads from memory.
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// The limits are checked before the decoder runs; it refuses only what no
// 32-bit size can hold.
#define STBI_MAX_DIMENSIONS 0x7FFFFFFF
#define STBI_MALLOC(size) kestrin::prepare::budget_malloc(size)
#define STBI_REALLOC(block, size) kestrin::prepare::budget_realloc(block, size)
#define STBI_FREE(block) kestrin::prepare::budget_free(block)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace kestrin::prepare {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
bool damaged(PictureProblem* problem, std::string detail) {
  problem->kind = PictureProblem::Kind::kDamaged;
  problem->detail = std::move(detail);
  return false;
}

// The decoder reads through these, so that a BMP that ends before its last
// pixel is seen: the decoder asks for bytes past the end, where it would
// otherwise take zeros.
struct Reader {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t at;
  bool past_end;
};

int read_bytes(void* user, char* data, int size) {
  auto* reader = static_cast<Reader*>(user);
  const std::size_t count =
      std::min(reader->size - reader->at, static_cast<std::size_t>(std::max(size, 0)));
  if (count == 0 && size > 0) reader->past_end = true;
  std::memcpy(data, reader->bytes + reader->at, count);
  reader->at += count;
  return static_cast<int>(count);
}

void skip_bytes(void* user, int count) {
  auto* reader = static_cast<Reader*>(user);
  if (count < 0) {
    reader->at -= std::min(reader->at, static_cast<std::size_t>(-static_cast<long long>(count)));
  } else {
    reader->at += std::min(reader->size - reader->at, static_cast<std::size_t>(count));
  }
}

int at_end(void* user) {
  const auto* reader = static_cast<Reader*>(user);
  return reader->at >= reader->size;
}

constexpr stbi_io_callbacks kCallbacks = {read_bytes, skip_bytes, at_end};

// The decoder's reason, where the checks before it found none.
std::string decoder_reason() {
  if (g_over_budget) return "it holds more data than its size calls for";
  return std::string("it does not decode (") +
         (stbi_failure_reason() != nullptr ? stbi_failure_reason() : "no reason given") + ")";
}

// 16 bits to 8, rounded to the nearest level.
std::uint8_t to_8_bits(stbi_us value) {
  return static_cast<std::uint8_t>((std::uint32_t{value} * 255 + 32767) / 65535);
}

// Decodes `file`, laid out for the decoder, of the size `problem` gives and
// 16 bits a channel where `deep`, into 8 bits a channel, with no more memory
// than that size calls for.
bool decode(const std::string& file, bool deep, PictureProblem* problem, Picture* picture) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
  // The file itself, twice its rows unpacked in their largest form (16-bit
  // RGBA and a filter byte a row), and twice the picture (it and a
  // conversion).
  const std::uint64_t pixels = problem->width * problem->height;
  const std::uint64_t rows = pixels * 8 + problem->height;
  g_over_budget = false;
  g_budget =
      static_cast<std::size_t>(file.size() + 2 * rows + 2 * pixels * 8 + (std::uint64_t{1} << 20));
  Reader reader{bytes, file.size(), 0, false};
  int width = 0, height = 0, channels = 0;
  void* decoded = deep ? static_cast<void*>(stbi_load_16_from_callbacks(
                             &kCallbacks, &reader, &width, &height, &channels, 4))
                       : static_cast<void*>(stbi_load_from_callbacks(&kCallbacks, &reader, &width,
                                                                     &height, &channels, 4));
  if (decoded == nullptr) return damaged(problem, decoder_reason());
  if (reader.past_end) {
    stbi_image_free(decoded);
    return damaged(problem, "the file ends before its last pixel");
  }
  picture->width = static_cast<std::uint32_t>(width);
  picture->height = static_cast<std::uint32_t>(height);
  const std::size_t count = static_cast<std::size_t>(pixels) * 4;
  if (deep) {
    const auto* wide = static_cast<const stbi_us*>(decoded);
    picture->rgba.resize(count);
    for (std::size_t i = 0; i < count; ++i) picture->rgba[i] = to_8_bits(wide[i]);
  } else {
    const auto* narrow = static_cast<const std::uint8_t*>(decoded);
    picture->rgba.assign(narrow, narrow + count);
  }
  stbi_image_free(decoded);
  return true;
}

}  // namespace

PictureFormat picture_format(const std::uint8_t* bytes, std::size_t size) {
  if (size >= sizeof kPngSignature &&
      std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0) {
    return PictureFormat::kPng;
  }
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureFormat::kBmp;
  return PictureFormat::kUnknown;
}

bool read_picture(const std::uint8_t* bytes, std::size_t size, Picture* picture,
                  PictureProblem* problem) {
  *picture = Picture();
  *problem = PictureProblem();
  problem->format = picture_format(bytes, size);
  if (problem->format == PictureFormat::kUnknown) {
    problem->kind = PictureProblem::Kind::kUnknownFormat;
    return false;
  }
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return damaged(problem, "the file is larger than a picture of the largest size can be");
  }
  // What the decoder gets: a PNG as it is, or with its palette filled twice
  // over, with two fillers, where the palette is short (a pixel that names a
  // missing entry then decodes two ways, and is refused); a BMP laid out anew.
  std::string reason;
  std::vector<std::string> files;
  bool deep = false;  // 16 bits a channel: only a PNG has them
  if (problem->format == PictureFormat::kPng) {
    PngShape shape;
    if (!check_png(bytes, size, kMaxPixels, &shape, &reason)) return damaged(problem, reason);
    problem->width = shape.width;
    problem->height = shape.height;
    deep = shape.depth == 16;
    if (has_short_palette(shape)) {
      const std::uint8_t black[3] = {0, 0, 0}, white[3] = {255, 255, 255};
      files = {with_whole_palette(bytes, size, shape, black),
               with_whole_palette(bytes, size, shape, white)};
    } else {
      files = {std::string(reinterpret_cast<const char*>(bytes), size)};
    }
  } else {
    BmpLayout layout;
    bool unsupported = false;
    if (!lay_out_bmp(bytes, size, kMaxPixels, &layout, &reason, &unsupported)) {
      problem->kind =
          unsupported ? PictureProblem::Kind::kUnsupported : PictureProblem::Kind::kDamaged;
      problem->detail = reason;
      return false;
    }
    problem->width = layout.width;
    problem->height = layout.height;
    files = {std::move(layout.rewritten)};
  }
  if (problem->width > kMaxSide || problem->height > kMaxSide ||
      problem->width * problem->height > kMaxPixels) {
    problem->kind = PictureProblem::Kind::kTooLarge;
    return false;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    Picture decoded;
    if (!decode(files[i], deep, problem, &decoded)) return false;
    if (i > 0 && decoded.rgba != picture->rgba) {
      return damaged(problem, "its pixels use palette entries it does not have");
    }
    *picture = std::move(decoded);
  }
  return true;
}

}  // namespace kestrin::prepare
