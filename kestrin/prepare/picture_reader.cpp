// The picture decoder, stb_image, behind the picture reader: its formats,
// its memory, and the checks it does not make itself.

#include "kestrin/prepare/picture_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

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
constexpr std::size_t kChunkFrame = 12;  // length, type, checksum

std::uint32_t read_u32be(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// A chunk's type as the message names it: four letters, or nothing readable.
std::string chunk_name(const std::uint8_t* type) {
  for (int i = 0; i < 4; ++i) {
    if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z'))) {
      return "a chunk";
    }
  }
  return "its " + std::string(reinterpret_cast<const char*>(type), 4) + " chunk";
}

bool damaged(PictureProblem* problem, std::string detail) {
  problem->kind = PictureProblem::Kind::kDamaged;
  problem->detail = std::move(detail);
  return false;
}

// The decoder reads neither chunk checksums nor whether the file ends: every
// chunk up to IEND must be whole and its checksum must hold, so that a
// damaged file is refused rather than shown damaged. The size comes from the
// first chunk, IHDR.
bool check_png_chunks(const std::uint8_t* bytes, std::size_t size, PictureProblem* problem) {
  for (std::size_t at = sizeof kPngSignature;;) {
    const bool first = at == sizeof kPngSignature;
    if (size - at < kChunkFrame) {
      return damaged(problem, first ? "the file ends after its signature"
                                    : "the file ends before its IEND chunk");
    }
    const std::uint32_t length = read_u32be(bytes + at);
    const std::uint8_t* type = bytes + at + 4;
    if (length > 0x7FFFFFFF || length > size - at - kChunkFrame) {
      return damaged(problem, "the file ends inside " + chunk_name(type));
    }
    const auto checksum = crc32(crc32(0, Z_NULL, 0), type, static_cast<uInt>(length) + 4);
    if (checksum != read_u32be(type + 4 + length)) {
      return damaged(problem, "the checksum of " + chunk_name(type) + " fails");
    }
    if (first) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) {
        return damaged(problem, "it does not begin with an IHDR chunk");
      }
      problem->width = read_u32be(type + 4);
      problem->height = read_u32be(type + 8);
    }
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += kChunkFrame + length;
  }
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

// What the decoder's reasons mean to someone who exported the picture.
std::string decoder_reason(PictureProblem::Kind* kind) {
  const std::string reason = stbi_failure_reason() != nullptr ? stbi_failure_reason() : "";
  *kind = PictureProblem::Kind::kUnsupported;
  if (reason == "BMP RLE") return "it is RLE-compressed; save it uncompressed";
  if (reason == "BMP JPEG/PNG") return "it holds a JPEG or a PNG; save it uncompressed";
  if (reason == "unknown BMP") return "its kind of info header is unknown";
  *kind = PictureProblem::Kind::kDamaged;
  if (g_over_budget) return "it holds more data than its size calls for";
  return "it does not decode (" + reason + ")";
}

// 16 bits to 8, rounded to the nearest level.
std::uint8_t to_8_bits(stbi_us value) {
  return static_cast<std::uint8_t>((std::uint32_t{value} * 255 + 32767) / 65535);
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
  if (problem->format == PictureFormat::kPng && !check_png_chunks(bytes, size, problem)) {
    return false;
  }
  Reader reader{bytes, size, 0, false};
  int width = 0, height = 0, channels = 0;
  g_over_budget = false;
  g_budget = std::numeric_limits<std::size_t>::max();
  const bool sized =
      stbi_info_from_callbacks(&kCallbacks, &reader, &width, &height, &channels) != 0;
  if (sized) {
    // A BMP stored top-down gives its height as the file does, negative.
    problem->width = static_cast<std::uint32_t>(width);
    problem->height = height < 0 ? -static_cast<std::int64_t>(height) : height;
  }
  if (problem->width > kMaxSide || problem->height > kMaxSide ||
      problem->width * problem->height > kMaxPixels) {
    problem->kind = PictureProblem::Kind::kTooLarge;
    return false;
  }
  if (!sized) {
    // The size's own reading names no reason once every format has been
    // tried: the decoder, allowed no memory, tells it from the header.
    reader = Reader{bytes, size, 0, false};
    g_budget = 0;
    stbi_image_free(stbi_load_from_callbacks(&kCallbacks, &reader, &width, &height, &channels, 4));
    g_over_budget = false;
    problem->detail = decoder_reason(&problem->kind);
    return false;
  }
  if (problem->width == 0 || problem->height == 0) return damaged(problem, "it holds no pixels");
  // The file itself, twice its rows unpacked in their largest form (16-bit
  // RGBA and a filter byte a row: an interlaced picture's passes outgrow the
  // decoder's first guess), and twice the picture (it and a conversion).
  const std::uint64_t pixels = problem->width * problem->height;
  const std::uint64_t rows = pixels * 8 + problem->height;
  g_budget = static_cast<std::size_t>(size + 2 * rows + 2 * pixels * 8 + (std::uint64_t{1} << 20));
  reader = Reader{bytes, size, 0, false};
  const bool deep = stbi_is_16_bit_from_callbacks(&kCallbacks, &reader) != 0;
  reader = Reader{bytes, size, 0, false};
  void* decoded = deep ? static_cast<void*>(stbi_load_16_from_callbacks(
                             &kCallbacks, &reader, &width, &height, &channels, 4))
                       : static_cast<void*>(stbi_load_from_callbacks(&kCallbacks, &reader, &width,
                                                                     &height, &channels, 4));
  if (decoded == nullptr) {
    problem->detail = decoder_reason(&problem->kind);
    return false;
  }
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

}  // namespace kestrin::prepare
