#pragma once

// Reading and checking a 24-bit uncompressed BMP and loading its pixels.
// Console messages go to `console`; callers map failures to exit statuses.

#include <cstdint>
#include <cstdio>

#include "kestrin/bitmap.h"

// Decode the two headers from their little-endian bytes.
FileHeader decode_file_header(const std::uint8_t (&bytes)[FileHeader::kSize]);
InfoHeader decode_info_header(const std::uint8_t (&bytes)[InfoHeader::kSize]);

// Read one header record from the stream's current position; false when the
// stream ends first.
bool read_file_header(std::FILE* in, FileHeader* header);
bool read_info_header(std::FILE* in, InfoHeader* info);

// Accepts only the "BM" type.
bool check_file_header(const FileHeader& header, std::FILE* console);

// Prints the two-line dump of the header, then applies the checks in order and
// prints the message of the first that fails.
bool check_info_header(const InfoHeader& info, std::FILE* console);

// Loads the picture from `bfOffBits` on into `pixels`, bottom row first. Fails
// with a message when the data ends inside a row's pixels or the picture
// cannot be held in memory; a missing fill after the last row is not an error.
bool load_pixels(std::FILE* in, const InfoHeader& info, const FileHeader& header,
                 PixelBuffer* pixels, std::FILE* console);
