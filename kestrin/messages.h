// Kestrin's console messages and exit statuses.
#pragma once

// Everything the converter says on the console, and every way it can end, in
// one place. Each message is a printf format.

namespace kestrin {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitUsage = 1,       // wrong argument count, or a colour argument without a number
  kExitOpenInput = 2,   // the input cannot be opened (or is a folder)
  kExitFileHeader = 3,  // file header short, or its type is not "BM"
  kExitInfoHeader = 4,  // info header short, or rejected
  kExitPixels = 5,      // pixel data ends early, or no memory for the picture
  kExitOutput = 6,      // the output cannot be created or written, or is the input
};

inline constexpr char kBanner[] = "Kestrin Converter, Version 1.01 (24-bit BMP to GCube header)\n";

inline constexpr char kUsage1[] = "Args:  [-MP [0xFF00FF 0x000000]] <filename>\n";
inline constexpr char kUsage2[] =
    "Converts a BMP file to GCube format with optional 'Magic Pink' processing.\n";
inline constexpr char kUsage3[] =
    "'Magic Pink' is a quick and dirty type of transparency support.";  // no line end

inline constexpr char kMagicPinkOn[] = "Magic Pink conversion is on: (%d,%d,%d) -> (%d,%d,%d).\n";
inline constexpr char kOpeningFile[] = "Opening File: %s\n";
inline constexpr char kCantOpen[] = "Can't open: %s\n";

inline constexpr char kCantReadHeader[] = "Can't read header: %d\n";
inline constexpr char kBadType[] = "Header error: bad type (0x%x)\n";
inline constexpr char kCantReadInfoHeader[] = "Can't read info header: %d\n";

inline constexpr char kInfoDump1[] = "\tInfoHeader: header size=%d, Width, Height=(%d,%d)\n";
inline constexpr char kInfoDump2[] =
    "\tInfoHeader: planes=%d, bits=%d, compression=%d, image size (bytes)=%d\n";
// Three of these print a decimal value after "0x"; callers parse them as they stand.
inline constexpr char kBadHeaderSize[] = "ERROR: Info Header error: bad header size (0x%d)\n";
inline constexpr char kBadWidth[] = "ERROR: Info Header error: bad width (%d)\n";
inline constexpr char kOddWidth[] =
    "ERROR: Info Header error: width is not a multiple of 2 (0x%d)\n";
inline constexpr char kCompression[] =
    "ERROR: Info Header error: compression not supported (0x%d)\n";
inline constexpr char kIndexedColours[] =
    "ERROR: Info Header error: indexed colors not supported (%d)\n";
inline constexpr char kPlanes[] = "ERROR: Info Header error: only one plane supported (%d)\n";
inline constexpr char kBitCount[] =
    "ERROR: Info Header error: only 24 bit color depth supported (%d)\n";

inline constexpr char kImageReadFailed[] = "Image read failed\n";
inline constexpr char kNoMemory[] = "ERROR: not enough memory for the picture\n";

inline constexpr char kOutputFile[] = "Output File: %s\n";
inline constexpr char kOutputOpenError[] = "ERROR: error opening file: %s\n";
inline constexpr char kSameFile[] = "ERROR: input and output are the same file: %s\n";  // input
inline constexpr char kOutputWriteError[] = "ERROR: error writing file: %s\n";
inline constexpr char kDone[] = "Done.\n";

}  // namespace kestrin
