// kestrin-preview's console messages and exit statuses.
#pragma once

// Everything the preview says on the console, and every way it can end, in
// one place. Each message is a printf format. Errors go to the error stream,
// each on one line that starts with the program's name; the comparison's
// summary and the help go to standard output.

namespace kestrin::preview {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitUsage = 1,       // a mistake on the command line
  kExitOpenHeader = 2,  // the header cannot be opened or read
  kExitBadHeader = 3,   // the header is not one that Kestrin writes
  kExitCompare = 4,     // the picture of --compare cannot be read, or differs in size
  kExitUnpictured = 5,  // the preview cannot be a PNG: no pixels, or too large
  kExitOutput = 6,      // the PNG cannot be created or written
};

inline constexpr char kUsage[] = "usage: kestrin-preview [options] <header> [<picture.png>]\n";

inline constexpr char kHelp[] =
    "Shows a header that kestrin wrote as a PNG picture, as the console decodes it.\n"
    "The PNG goes to <picture.png>, by default the header's path with \".png\" appended.\n"
    "\n"
    "options:\n"
    "  --display console   studio-range video, as the console shows it (the default)\n"
    "  --display full      full range: the exact inverse of kestrin's encoding\n"
    "  --transparent[=0xRRGGBB]\n"
    "                      words of the Magic Pink key (default 0xFF00FF) are transparent\n"
    "  --scale N           each pixel as an N x N block, N from 1 to 16\n"
    "  --compare <picture.bmp>\n"
    "                      lay the source picture and the differences beside the preview,\n"
    "                      and print how far the preview is from the source\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "exit status: 0 done, 1 command line, 2 header unreadable, 3 header malformed,\n"
    "4 --compare picture unusable, 5 no PNG possible, 6 PNG not written\n";

inline constexpr char kVersion[] = "kestrin-preview %s\n";  // the project's version

// Mistakes on the command line, each followed by the usage.
inline constexpr char kMistake[] = "kestrin-preview: %s\n";  // one of these:
inline constexpr char kUnknownOption[] = "unknown option '%s'";
inline constexpr char kMissingValue[] = "%s needs a value";
inline constexpr char kNoValueWanted[] = "%s takes no value";
inline constexpr char kBadDisplay[] = "--display is 'console' or 'full', not '%s'";
inline constexpr char kBadScale[] = "--scale is a whole number from 1 to 16, not '%s'";
inline constexpr char kBadColour[] = "--transparent wants a colour such as 0xFF00FF, not '%s'";
inline constexpr char kNoHeader[] = "no header given";
inline constexpr char kTooManyArguments[] = "one header and one picture at most; '%s' is a third";

// The header.
inline constexpr char kCannotOpen[] = "kestrin-preview: cannot open %s\n";
inline constexpr char kCannotRead[] = "kestrin-preview: cannot read %s\n";
inline constexpr char kUnexpected[] = "kestrin-preview: %s:%llu: expected %s, found %s\n";
inline constexpr char kWordCount[] =
    "kestrin-preview: %s: the array holds %llu words, but width x height / 2 is %llu\n";
inline constexpr char kTooFewBytes[] =
    "kestrin-preview: %s:%llu: the defines call for %llu words, more than the %llu bytes after "
    "this line can hold\n";

// What the header's reader expected, and what it found instead.
inline constexpr char kExpectWidth[] = "'#define <PREFIX>_WIDTH (<width>)'";
inline constexpr char kExpectHeight[] = "'#define %s_HEIGHT (<height>)'";
inline constexpr char kExpectSize[] = "'#define %s_SIZE (<width x height>)'";
inline constexpr char kExpectArray[] = "'const u32 <name>_Bitmap[<height>*<width>]={'";
inline constexpr char kExpectNumber[] = "a whole number from 0 to 4294967295";
inline constexpr char kExpectEvenWidth[] = "an even width";
inline constexpr char kExpectSizeValue[] = "%llu, the width times the height";
inline constexpr char kExpectBound[] = "%llu, as the defines give";
inline constexpr char kExpectWord[] = "a word: '0x' and 1 to 8 hexadecimal digits";
inline constexpr char kExpectComma[] = "',' or '}' after a word";
inline constexpr char kExpectClose[] = "'};'";
inline constexpr char kExpectEnd[] = "the end of the file";
inline constexpr char kExpectCommentEnd[] = "'*/' closing the comment";
inline constexpr char kFoundEnd[] = "the end of the file";

// The preview as a picture.
inline constexpr char kEmpty[] =
    "kestrin-preview: %s: the picture is %llu x %llu pixels; a PNG needs at least one\n";
inline constexpr char kTooLarge[] =
    "kestrin-preview: %s: a preview of %llu x %llu pixels is larger than a PNG can be\n";
inline constexpr char kTooWideToHold[] =
    "kestrin-preview: %s: --scale and --compare hold a row, of at most %llu pixels; this "
    "picture's rows have %llu\n";
inline constexpr char kNoMemory[] = "kestrin-preview: not enough memory for a row of %s\n";

// The picture of --compare. Kestrin's reader prints its own reason first.
inline constexpr char kCannotCompare[] =
    "kestrin-preview: %s: kestrin does not convert this picture, so it cannot be compared\n";
inline constexpr char kSizesDiffer[] =
    "kestrin-preview: %s is %llu x %llu pixels, but the header is %llu x %llu\n";
inline constexpr char kIsComparePicture[] =
    "kestrin-preview: %s is the picture of --compare; give the preview another name\n";

// The output.
inline constexpr char kCannotCreate[] = "kestrin-preview: cannot create %s\n";
inline constexpr char kIsHeader[] = "kestrin-preview: %s is the header itself\n";
inline constexpr char kCannotWrite[] = "kestrin-preview: cannot write %s\n";

// The comparison, on standard output: the header, the picture, the mean
// difference of red, green and blue (each "<units>.<hundredths>"), the largest
// of each, and how many of the pairs mix two colours of very different chroma.
inline constexpr char kSummary[] =
    "kestrin-preview: %s against %s: mean difference R %llu.%02llu G %llu.%02llu B "
    "%llu.%02llu, largest R %d G %d B %d; %llu of %llu pairs mix very different colours\n";

}  // namespace kestrin::preview
