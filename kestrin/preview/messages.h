// kestrin-preview's console messages and exit statuses.
#pragma once

// Everything the preview says on the console, and every way it can end, in
// one place. Each message is a printf format. Errors go to the error stream,
// each on one line that starts with the program's name; the comparison's
// summary and the help go to standard output.

#include "kestrin/companion_command_line.h"

namespace kestrin::preview {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitUsage = 1,       // a mistake on the command line
  kExitOpenHeader = 2,  // the header cannot be opened or read
  kExitBadHeader = 3,   // the header is not one that Kestrin writes
  kExitCompare = 4,     // the picture of --compare cannot be read, or differs in size
  kExitUnpictured = 5,  // the preview cannot be a PNG: no pixels, or too large
  kExitOutput = 6,      // the PNG cannot be created or written
  kExitSummary = 7,     // the summary line cannot be written: no PNG is left either
};

inline constexpr char kUsage[] = "usage: kestrin-preview [options] <header> [<picture.png>]\n";

inline constexpr char kHelp[] =
    "Shows a header that kestrin wrote as a PNG picture, as the console decodes it.\n"
    "The PNG goes to <picture.png>, by default the header's path with \".png\" appended.\n"
    "\n"
    "options:\n"
    "  --display console   studio-range video, as the console shows it (the default)\n"
    "  --display full      full range: the exact inverse of kestrin's encoding\n"
    "  --transparent       words of the Magic Pink key are transparent\n"
    "  --key 0xRRGGBB      the key colour (default 0xFF00FF); --transparent=0xRRGGBB\n"
    "                      gives it too\n"
    "  --scale N           each pixel as an N x N block, N from 1 to 16\n"
    "  --compare <picture.bmp>\n"
    "                      lay the source picture and the differences beside the preview,\n"
    "                      and print how far the preview is from the source\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Whenever the key is known, the pixels near the key colour and the key pixels\n"
    "alone in their pair are reported on standard output.\n"
    "\n"
    "exit status: 0 done, 1 command line, 2 header unreadable, 3 header malformed,\n"
    "4 --compare picture unusable, 5 no PNG possible, 6 PNG not written,\n"
    "7 summary not written (nor the PNG)\n";

inline constexpr char kVersion[] = "kestrin-preview %s\n";  // the project's version

// Mistakes on the command line, each followed by the usage.
inline constexpr char kMistake[] = "kestrin-preview: %s\n";  // one of these:
inline constexpr char kUnknownOption[] = "unknown option '%s'";
inline constexpr char kMissingValue[] = "%s needs a value";
inline constexpr char kNoValueWanted[] = "%s takes no value";
inline constexpr char kBadDisplay[] = "--display is 'console' or 'full', not '%s'";
inline constexpr char kBadScale[] = "--scale is a whole number from 1 to 16, not '%s'";
inline constexpr char kBadColour[] = "%s wants a colour such as 0xFF00FF, not '%s'";
inline constexpr char kNoHeader[] = "no header given";
inline constexpr char kTooManyArguments[] = "one header and one picture at most; '%s' is a third";

// The header.
inline constexpr char kCannotOpen[] = "kestrin-preview: cannot open %s\n";
// Right after --transparent, a header that is no file but reads as a colour
// was meant as the key; the usage follows, as after a mistake.
inline constexpr char kColourAsHeader[] =
    "kestrin-preview: cannot open %s; to give the key colour, write --key %s\n";
inline constexpr char kCannotRead[] = "kestrin-preview: cannot read %s\n";
inline constexpr char kChanged[] =
    "kestrin-preview: %s or its picture changed while the preview was made\n";
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
// Where the compiler would read the lines otherwise: a line carried on by a
// backslash, a define that goes on past its line, a CR alone, which the
// compiler takes for a line end.
inline constexpr char kExpectNoSplice[] = "a line end with no backslash before it";
inline constexpr char kFoundSplice[] = "'\\' (or '?\?/') and the end of the line";
inline constexpr char kExpectLineEnd[] = "a line end: LF or CR LF";
inline constexpr char kFoundLoneCr[] = "a carriage return alone";
inline constexpr char kExpectDefineBlank[] = "spaces or tabs between the parts of a define";
inline constexpr char kFoundFormFeed[] = "a form feed";
inline constexpr char kFoundVerticalTab[] = "a vertical tab";
inline constexpr char kExpectBlankBeforeParenthesis[] =
    "a space between the define's name and '(' (without one the define takes parameters)";
inline constexpr char kExpectDefineEnd[] = "the end of the line after the define";
inline constexpr char kFoundLineEnd[] = "the end of the line";

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

// What the run found, one line on standard output. The comparison's: the
// header, the picture, the mean difference of red, green and blue (each
// "<units>.<hundredths>"), the largest of each, and how many of the pairs mix
// two colours of very different chroma; then, each after kClauseBreak and
// only where there is something to say, the pixels the studio range clips,
// and the key colour's clauses (kestrin/key_colour_report.h words them:
// "5 of 3072 pixels are near the key colour but not it (a visible fringe),
// the first at (3, 0)", "2 of 3072 pixels are the key colour alone in their
// pair (painted, not transparent), the first at (31, 20)"). Without a source,
// with --transparent: kReportHead, the header, ": " and the near-key clause,
// when it has one.
inline constexpr char kSummary[] =
    "kestrin-preview: %s against %s: mean difference R %llu.%02llu G %llu.%02llu B "
    "%llu.%02llu, largest R %d G %d B %d; %llu of %llu pairs mix very different colours";
inline constexpr char kClauseBreak[] = "; ";
inline constexpr char kClipped[] =
    "%llu of %llu pixels are clipped by the studio range (luma below 16 or above 235)";
inline constexpr char kReportHead[] = "kestrin-preview: ";
inline constexpr char kCannotWriteSummary[] =
    "kestrin-preview: cannot write the summary to standard output\n";

// What every companion says, in this one's words.
inline constexpr CompanionWords kWords{kUsage,        kHelp,          kVersion,          kMistake,
                                       kMissingValue, kNoValueWanted, kTooManyArguments, kNoHeader};

}  // namespace kestrin::preview
