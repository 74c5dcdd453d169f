// The order of a preview's steps: command line, header, source picture, PNG.

#include "kestrin/preview/preview.h"

#include <cstdio>
#include <memory>
#include <new>

#include "kestrin/messages.h"
#include "kestrin/preview/command_line.h"
#include "kestrin/preview/comparison.h"
#include "kestrin/preview/header_reader.h"
#include "kestrin/preview/messages.h"
#include "kestrin/preview/pair_decoding.h"
#include "kestrin/preview/panel_rows.h"
#include "kestrin/preview/png_writer.h"
#include "kestrin/preview/source_picture.h"
#include "platform/output_file.h"

#ifndef KL_VERSION
#define KL_VERSION "unknown"
#endif

namespace kestrin::preview {

namespace {

// Marks the temporaries of this program's outputs.
constexpr char kTempTag[] = ".kestrin-preview-";

// A plain preview (scale 1, no source) goes out as it is decoded, in pieces
// of this many pairs, whatever the width. A scaled or compared one holds a
// row of the picture: its words, its pixels and the source's, nine bytes a
// pixel, 2.25 MiB at this width.
constexpr std::size_t kPiecePairs = 8192;
constexpr std::uint64_t kMaxHeldWidth = 1 << 18;
std::uint32_t g_piece_words[kPiecePairs];
std::uint8_t g_piece_pixels[kPiecePairs * 2 * 4];

using ull = unsigned long long;

int report_header_problem(const Options& o, const HeaderProblem& p) {
  const char* path = o.header_path.c_str();
  switch (p.kind) {
    case HeaderProblem::Kind::kNone:
    case HeaderProblem::Kind::kReadFailed:
      std::fprintf(stderr, kCannotRead, path);
      return kExitOpenHeader;
    case HeaderProblem::Kind::kUnexpected:
      std::fprintf(stderr, kUnexpected, path, static_cast<ull>(p.line), p.expected.c_str(),
                   p.found.c_str());
      break;
    case HeaderProblem::Kind::kWordCount:
      std::fprintf(stderr, kWordCount, path, static_cast<ull>(p.words_found),
                   static_cast<ull>(p.words_wanted));
      break;
    case HeaderProblem::Kind::kTooFewBytes:
      std::fprintf(stderr, kTooFewBytes, path, static_cast<ull>(p.line),
                   static_cast<ull>(p.words_wanted), static_cast<ull>(p.bytes_left));
      break;
  }
  return kExitBadHeader;
}

// Everything one preview holds while it runs.
struct Run {
  const Options* options = nullptr;
  HeaderText text;
  HeaderShape shape;
  HeaderProblem problem;
  PanelLayout layout;
  std::uint32_t transparent = 0;
  SourcePicture source;
  bool comparing = false;
  Comparison comparison;
  platform::OutputFile output;
  PngWriter png;
  // The row held for a scaled or compared preview.
  std::unique_ptr<std::uint32_t[]> words;
  std::unique_ptr<std::uint8_t[]> pixels;
  std::unique_ptr<std::uint8_t[]> source_row;
};

// The size checks: a PNG has pixels, and at most kPngMaxSide on a side.
int check_size(Run* run) {
  const Options& o = *run->options;
  const HeaderShape& s = run->shape;
  if (s.width == 0 || s.height == 0) {
    std::fprintf(stderr, kEmpty, o.header_path.c_str(), static_cast<ull>(s.width),
                 static_cast<ull>(s.height));
    return kExitUnpictured;
  }
  const std::uint64_t width = panel_width(run->layout);
  const std::uint64_t height = std::uint64_t{s.height} * o.scale;
  if (width > kPngMaxSide || height > kPngMaxSide ||
      png_picture_bytes(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                        run->layout.channels) == 0) {
    std::fprintf(stderr, kTooLarge, o.header_path.c_str(), static_cast<ull>(width),
                 static_cast<ull>(height));
    return kExitUnpictured;
  }
  if (o.scale == 1 && !run->comparing) return kExitSuccess;
  if (s.width > kMaxHeldWidth) {
    std::fprintf(stderr, kTooWideToHold, o.header_path.c_str(), static_cast<ull>(kMaxHeldWidth),
                 static_cast<ull>(s.width));
    return kExitUnpictured;
  }
  run->words.reset(new (std::nothrow) std::uint32_t[s.width / 2]);
  run->pixels.reset(new (std::nothrow) std::uint8_t[std::size_t{s.width} * run->layout.channels]);
  run->source_row.reset(new (std::nothrow) std::uint8_t[std::size_t{s.width} * 3]);
  if (!run->words || !run->pixels || !run->source_row) {
    std::fprintf(stderr, kNoMemory, o.header_path.c_str());
    return kExitUnpictured;
  }
  return kExitSuccess;
}

int open_source(Run* run) {
  const Options& o = *run->options;
  const char* path = o.compare_path.c_str();
  switch (open_source_picture(path, run->shape.width, run->shape.height, &run->source, stderr)) {
    case SourceResult::kReady:
      break;
    case SourceResult::kCannotOpen:
      std::fprintf(stderr, kCannotOpen, path);
      return kExitCompare;
    case SourceResult::kRefused:
      std::fprintf(stderr, kCannotCompare, path);
      return kExitCompare;
    case SourceResult::kOtherSize:
      std::fprintf(stderr, kSizesDiffer, path, static_cast<ull>(run->source.width),
                   static_cast<ull>(run->source.height), static_cast<ull>(run->shape.width),
                   static_cast<ull>(run->shape.height));
      return kExitCompare;
  }
  run->comparing = true;
  return kExitSuccess;
}

// One row of the picture, held, then laid out in its panels.
int put_held_row(Run* run) {
  const std::size_t pairs = run->shape.width / 2;
  if (!read_header_words(&run->text, run->words.get(), pairs, &run->problem)) {
    return report_header_problem(*run->options, run->problem);
  }
  decode_pairs(run->words.get(), pairs, run->options->display, run->layout.channels,
               run->transparent, run->pixels.get());
  if (run->comparing) {
    if (!read_source_row(&run->source, run->source_row.get())) {
      std::fputs(kestrin::kImageReadFailed, stderr);
      std::fprintf(stderr, kCannotCompare, run->options->compare_path.c_str());
      return kExitCompare;
    }
    compare_row(&run->comparison, run->pixels.get(), run->layout.channels, run->source_row.get(),
                run->shape.width, run->layout.key);
  }
  if (!put_panel_rows(&run->png, run->layout, run->pixels.get(), run->source_row.get())) {
    std::fprintf(stderr, kCannotWrite, run->options->output_path.c_str());
    return kExitOutput;
  }
  return kExitSuccess;
}

// One row of a plain preview, a piece at a time.
int put_plain_row(Run* run) {
  static const std::uint8_t kFilterNone = 0;
  bool written = png_put(&run->png, &kFilterNone, 1);
  for (std::uint64_t left = run->shape.width / 2; left > 0 && written;) {
    const std::size_t pairs = left < kPiecePairs ? static_cast<std::size_t>(left) : kPiecePairs;
    if (!read_header_words(&run->text, g_piece_words, pairs, &run->problem)) {
      return report_header_problem(*run->options, run->problem);
    }
    decode_pairs(g_piece_words, pairs, run->options->display, run->layout.channels,
                 run->transparent, g_piece_pixels);
    written = png_put(&run->png, g_piece_pixels, pairs * 2 * run->layout.channels);
    left -= pairs;
  }
  if (!written) {
    std::fprintf(stderr, kCannotWrite, run->options->output_path.c_str());
    return kExitOutput;
  }
  return kExitSuccess;
}

// Writes the PNG into the created output, which the caller commits or discards.
int write_picture(Run* run) {
  const Options& o = *run->options;
  if (!png_begin(&run->png, platform::binary_output_sink(&run->output),
                 static_cast<std::uint32_t>(panel_width(run->layout)), run->shape.height * o.scale,
                 run->layout.channels)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    return kExitOutput;
  }
  const bool held = o.scale > 1 || run->comparing;
  for (std::uint32_t row = 0; row < run->shape.height; ++row) {
    const int status = held ? put_held_row(run) : put_plain_row(run);
    if (status != kExitSuccess) return status;
  }
  if (!read_header_tail(&run->text, &run->problem)) {
    return report_header_problem(o, run->problem);
  }
  if (!png_finish(&run->png)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    return kExitOutput;
  }
  return kExitSuccess;
}

int create_and_write(Run* run, const platform::InputFile& header) {
  const Options& o = *run->options;
  // The output replaces its target only at the end, after the header and the
  // source have been read through: it must be neither.
  // Without --compare the header stands in the source's place.
  const platform::InputFile* source = run->comparing ? &run->source.input : &header;
  switch (platform::create_output(o.output_path, kTempTag, {&header, source}, &run->output)) {
    case platform::CreateResult::kCreated:
      break;
    case platform::CreateResult::kIsInput:
      std::fprintf(stderr, run->output.named_input == 0 ? kIsHeader : kIsComparePicture,
                   o.output_path.c_str());
      return kExitOutput;
    case platform::CreateResult::kCannotCreate:
      std::fprintf(stderr, kCannotCreate, o.output_path.c_str());
      return kExitOutput;
  }
  int status = write_picture(run);
  if (status == kExitSuccess && !platform::commit_output(&run->output)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    status = kExitOutput;
  }
  if (status != kExitSuccess) platform::discard_output(&run->output);
  return status;
}

void print_summary(const Run& run) {
  const Comparison& c = run.comparison;
  const ull r = mean_hundredths(c, 0), g = mean_hundredths(c, 1), b = mean_hundredths(c, 2);
  std::printf(kSummary, run.options->header_path.c_str(), run.options->compare_path.c_str(),
              r / 100, r % 100, g / 100, g % 100, b / 100, b % 100, c.largest[0], c.largest[1],
              c.largest[2], static_cast<ull>(c.mixed_pairs), static_cast<ull>(c.pairs));
}

int preview_from(Run* run, platform::InputFile* header) {
  const Options& o = *run->options;
  open_header_text(&run->text, platform::input_source(header));
  if (!read_header_head(&run->text, &run->shape, &run->problem)) {
    return report_header_problem(o, run->problem);
  }
  run->layout.width = run->shape.width;
  run->layout.channels = o.transparent ? 4 : 3;
  run->layout.scale = o.scale;
  run->layout.panels = o.compare_path.empty() ? 1 : 3;
  run->layout.key = o.key;
  run->transparent = transparent_word(o.key);
  int status = kExitSuccess;
  if (!o.compare_path.empty()) status = open_source(run);
  if (status == kExitSuccess) status = check_size(run);
  if (status == kExitSuccess) status = create_and_write(run, *header);
  if (run->comparing) close_source_picture(&run->source);
  if (status == kExitSuccess && run->comparing) print_summary(*run);
  return status;
}

}  // namespace

int run_preview(int argc, char** argv) {
  Options options;
  std::string mistake;
  switch (read_command_line(argc, argv, &options, &mistake)) {
    case Request::kHelp:
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return kExitSuccess;
    case Request::kVersion:
      std::printf(kVersion, KL_VERSION);
      return kExitSuccess;
    case Request::kMistake:
      std::fprintf(stderr, kMistake, mistake.c_str());
      std::fputs(kUsage, stderr);
      return kExitUsage;
    case Request::kPreview:
      break;
  }
  platform::InputFile header;
  if (!platform::open_input(options.header_path.c_str(), &header)) {
    std::fprintf(stderr, kCannotOpen, options.header_path.c_str());
    return kExitOpenHeader;
  }
  Run run;
  run.options = &options;
  const int status = preview_from(&run, &header);
  platform::close_input(&header);
  return status;
}

}  // namespace kestrin::preview
