// kestrin-prepare's console messages and exit statuses.
#pragma once

// Everything the program says on the console, and every way it can end, in
// one place. Each message is a printf format. Errors go to the error stream,
// each on one line that starts with the program's name; the report and the
// help go to standard output.

#include "kestrin/companion_command_line.h"

namespace kestrin::prepare {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitUsage = 1,        // a mistake on the command line
  kExitOpenPicture = 2,  // the picture cannot be opened or read
  kExitBadPicture = 3,   // not a PNG or BMP that is read, or a damaged one
  kExitTooLarge = 4,     // larger than the largest picture read
  kExitOutput = 5,       // the BMP cannot be created or written, or would be the picture
  kExitReport = 6,       // the report cannot be written: the BMP is not either
};

inline constexpr char kUsage[] = "usage: kestrin-prepare [options] <picture> [<out.bmp>]\n";

inline constexpr char kHelp[] =
    "Makes a PNG or BMP picture into the BMP that kestrin converts: 24 bits a pixel,\n"
    "an even width, and every transparent pixel exactly the key colour, which\n"
    "kestrin -MP keeps transparent on the console. The BMP goes to <out.bmp>, by\n"
    "default the picture's path with its extension replaced by \".bmp\".\n"
    "\n"
    "options:\n"
    "  --key 0xRRGGBB        the key colour (default 0xFF00FF), read as kestrin reads it\n"
    "  --alpha-threshold N   a pixel whose alpha is below N (0 to 255, default 128)\n"
    "                        becomes the key; every other keeps its colour, unblended\n"
    "  --quiet               leave out the report on the key colour\n"
    "  --help                show this text\n"
    "  --version             show the version\n"
    "\n"
    "An odd width gets one column of the key colour on the right. A BMP that kestrin\n"
    "reads already is copied as it is.\n"
    "\n"
    "exit status: 0 done, 1 command line, 2 picture unreadable, 3 not a picture\n"
    "that is read, 4 picture too large, 5 BMP not written, 6 report not written\n";

inline constexpr char kVersion[] = "kestrin-prepare %s\n";  // the project's version

// Mistakes on the command line, each followed by the usage.
inline constexpr char kMistake[] = "kestrin-prepare: %s\n";  // one of these:
inline constexpr char kUnknownOption[] = "unknown option '%s'";
inline constexpr char kMissingValue[] = "%s needs a value";
inline constexpr char kNoValueWanted[] = "%s takes no value";
inline constexpr char kBadKey[] = "--key wants a colour such as 0xFF00FF, not '%s'";
inline constexpr char kBadThreshold[] =
    "--alpha-threshold is a whole number from 0 to 255, not '%s'";
inline constexpr char kNoPicture[] = "no picture given";
inline constexpr char kTooManyArguments[] = "one picture and one BMP at most; '%s' is a third";

// The picture.
inline constexpr char kCannotOpen[] = "kestrin-prepare: cannot open %s\n";
inline constexpr char kCannotRead[] = "kestrin-prepare: cannot read %s\n";
inline constexpr char kFileTooLarge[] =
    "kestrin-prepare: %s holds more than %llu bytes, more than any picture that is read\n";
inline constexpr char kNotAPicture[] = "kestrin-prepare: %s is neither a PNG nor a BMP\n";
// The file, the format ("PNG" or "BMP") and the reason.
inline constexpr char kDamaged[] = "kestrin-prepare: %s: a damaged %s: %s\n";
inline constexpr char kUnsupported[] = "kestrin-prepare: %s: a %s that is not read: %s\n";
inline constexpr char kTooLarge[] =
    "kestrin-prepare: %s is %llu x %llu pixels; at most %llu on a side and %llu in all are "
    "read\n";

// The report, on standard output: the picture, the BMP, its size and what
// was done to it, then each of the key colour's clauses that has something
// to say (kestrin/key_colour_report.h words them), each after kClauseBreak,
// or kNoTraps.
inline constexpr char kReport[] = "kestrin-prepare: %s: %s, ";  // the picture, the BMP
inline constexpr char kReportSize[] = "%s x %s pixels";         // its width and height
inline constexpr char kPadded[] = ", a column of the key added";
inline constexpr char kCopied[] = ", as it was";
inline constexpr char kClauseBreak[] = "; ";
inline constexpr char kNoTraps[] = "; nothing near the key colour or alone in its pair";
inline constexpr char kCannotWriteReport[] =
    "kestrin-prepare: cannot write the report to standard output\n";

// The BMP.
inline constexpr char kOwnDefault[] =
    "kestrin-prepare: %s would be written over itself: give the BMP's name after the "
    "picture's\n";
inline constexpr char kIsPicture[] = "kestrin-prepare: %s is the picture itself\n";
inline constexpr char kCannotCreate[] = "kestrin-prepare: cannot create %s\n";
inline constexpr char kCannotWrite[] = "kestrin-prepare: cannot write %s\n";

// What every companion says, in this one's words.
inline constexpr CompanionWords kWords{
    kUsage,        kHelp,          kVersion,          kMistake,
    kMissingValue, kNoValueWanted, kTooManyArguments, kNoPicture};

}  // namespace kestrin::prepare
