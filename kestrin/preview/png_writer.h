// Writing a PNG picture row by row, compressed as it goes.
#pragma once

// The picture's size is known before its first byte. Its pixels are put in
// pieces of whole pixels, row after row; the writer holds the row before and
// the row being put, chooses each row's filter (row_filters.h) and deflates
// the rows into IDAT chunks of a fixed size as they come, so that memory does
// not grow with the picture. A row longer than kPngHeldRow bytes is not held:
// it goes out unfiltered, a piece at a time.
//
// A picture of at most 256 colours compresses far better as indices into a
// palette, and the palette comes before the rows: a survey, a first pass over
// the same pixels, finds the colours. Without one the PNG is 8-bit RGB or
// RGBA. zlib does the deflating and the checksums; only png_writer.cpp sees it.

#include <cstddef>
#include <cstdint>

#include "platform/byte_stream.h"

namespace kestrin::preview {

struct PngWriter {
  platform::ByteSink sink{};
  std::uint32_t width = 0;
  unsigned channels = 3;         // of the pixels put: red, green, blue and, with 4, alpha
  bool palette = false;          // the rows are indices into the palette
  unsigned bit_depth = 8;        // of the rows: 8, or 1, 2, 4 or 8 with a palette
  std::size_t row_bytes = 0;     // of a row as the PNG holds it, filter byte aside
  bool held = false;             // rows fit in kPngHeldRow: each is filtered as a whole
  std::uint32_t row_pixels = 0;  // pixels of the current row put so far
  std::uint64_t rows_left = 0;   // rows not yet complete
  bool first_row = true;
  bool deflating = false;      // the compressor is set up and must be ended
  bool failed = false;         // the sink refused a write, or the compressor failed
  int strategy = 0;            // zlib's, for the rows of this band
  std::size_t band_bytes = 0;  // bytes of this band so far, and those that repeat
  std::size_t band_repeated = 0;
  bool stray_colour = false;  // a pixel not in the palette: the pixels are not the surveyed ones
  // The survey, and what it found.
  bool surveying = false;
  unsigned colours = 0;   // distinct colours seen, up to 257
  bool surveyed = false;  // a survey of every pixel found at most 256 colours
};

// The largest width or height a PNG may have.
inline constexpr std::uint32_t kPngMaxSide = 0x7FFFFFFF;

// The longest row, in bytes, that the writer holds to choose its filter.
inline constexpr std::size_t kPngHeldRow = 1 << 20;

// Starts a survey of a picture of `width` x `height` pixels of `channels`
// bytes: png_put then only looks at the colours, and nothing is written.
void png_begin_survey(PngWriter* png, std::uint32_t width, std::uint32_t height, unsigned channels);

// Whether the survey has seen more colours than a palette holds, so that
// the rest of the pixels can go unseen.
bool png_survey_settled(const PngWriter& png);

// Writes the signature and the header chunks for a picture of `width` x
// `height` pixels (1 to kPngMaxSide each) of `channels` bytes (3 or 4), and
// gets ready for its pixels: with a palette when a survey of this picture saw
// every pixel and at most 256 colours, else as RGB or RGBA.
bool png_begin(PngWriter* png, platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               unsigned channels);

// The bytes of all the rows at most, each a filter byte and its pixels:
// height x (1 + width x channels); 0 when that passes 64 bits.
std::uint64_t png_picture_bytes(std::uint32_t width, std::uint32_t height, unsigned channels);

// Adds the next `size` bytes of pixels (whole pixels), the rows one after
// another. False once a write has failed, past the picture's last pixel, or
// at a colour the survey did not see (`stray_colour`).
bool png_put(PngWriter* png, const std::uint8_t* pixels, std::size_t size);

// Ends the picture (or the survey) once every pixel has been put; false if a
// write failed or pixels are missing. The writer is closed either way.
bool png_finish(PngWriter* png);

// Lets go of what the writer holds, without ending the picture: for a run
// that fails before png_finish. Does nothing once the writer is closed.
void png_close(PngWriter* png);

}  // namespace kestrin::preview
