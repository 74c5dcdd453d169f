// The two checksums of a PNG: CRC-32 over each chunk, Adler-32 over the zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrin::preview {

// The CRC-32 of PNG chunks (polynomial 0xEDB88320, reflected, inverted at
// both ends), continued from `crc` (0 to start). With carry-less multiplication
// where the processor has it, 16 bytes at a time; eight at a time elsewhere.
std::uint32_t crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

// Adler-32 continued from `adler` (1 to start).
std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* bytes, std::size_t size);

}  // namespace kestrin::preview
