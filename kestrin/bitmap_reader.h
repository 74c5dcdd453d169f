// Reading and checking the BMP, and handing out its pixel rows.
#pragma once

// Reading and checking a 24-bit uncompressed BMP, and handing out its pixel
// rows top row first. Console messages go to `console`, or nowhere where it
// is null (a check alone); callers map failures to exit statuses.

#include <cstdint>
#include <cstdio>

#include "kestrin/bitmap.h"

namespace kestrin {

// Decode the two headers from their little-endian bytes.
FileHeader decode_file_header(const std::uint8_t (&bytes)[FileHeader::kSize]);
InfoHeader decode_info_header(const std::uint8_t (&bytes)[InfoHeader::kSize]);

// The headers' 54 bytes as a file holds them: every byte is one of their
// fields, so the records give them back exactly.
void encode_headers(const FileHeader& header, const InfoHeader& info, std::uint8_t* bytes);

// Read one header record from the source's current position; false when the
// source ends first or cannot be read.
bool read_file_header(const ByteSource& in, FileHeader* header);
bool read_info_header(const ByteSource& in, InfoHeader* info);

// Accepts only the "BM" type.
bool check_file_header(const FileHeader& header, std::FILE* console);

// Prints the two-line dump of the header, then applies the checks in order and
// prints the message of the first that fails.
bool check_info_header(const InfoHeader& info, std::FILE* console);

// The checks of check_info_header alone, without the dump.
bool check_info_fields(const InfoHeader& info, std::FILE* console);

// Makes `pixels` ready to hand out the picture stored from `bfOffBits` on.
// Fails with a message when the source cannot hold every row (a missing fill
// after the last row is not an error) or the picture cannot be held in memory;
// a source that can seek is only checked here and read later, a band at a
// time, and one that cannot is read whole now.
bool load_pixels(const ByteSource& in, const InfoHeader& info, const FileHeader& header,
                 PixelBuffer* pixels, std::FILE* console);

enum class RunResult {
  kRun,         // `*run` holds the next pixels
  kEnd,         // every row has been handed out
  kReadFailed,  // the source failed or ended early after all
};

// Hands out the next run of pixel pairs, top row first and left to right
// within a row; a row without pairs is one empty run. The run stays valid
// until the next call.
RunResult next_pixel_run(PixelBuffer* pixels, PixelRun* run);

}  // namespace kestrin
