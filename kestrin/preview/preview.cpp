// The order of a preview's steps: command line, header, source picture, PNG.

#include "kestrin/preview/preview.h"

#include <cstdio>
#include <memory>
#include <new>

#include "kestrin/colour_argument.h"
#include "kestrin/key_colour_report.h"
#include "kestrin/messages.h"
#include "kestrin/preview/command_line.h"
#include "kestrin/preview/comparison.h"
#include "kestrin/preview/header_reader.h"
#include "kestrin/preview/messages.h"
#include "kestrin/preview/pair_decoding.h"
#include "kestrin/preview/panel_rows.h"
#include "kestrin/preview/png_writer.h"
#include "kestrin/preview/source_picture.h"
#include "kestrin/preview/summary_line.h"
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
// row of the picture: its words, its pixels, the source's, the reference's
// and the pixels checked for the key, sixteen bytes a pixel, 4 MiB at this
// width.
constexpr std::size_t kPiecePairs = 8192;
constexpr std::uint64_t kMaxHeldWidth = 1 << 18;
std::uint32_t g_piece_words[kPiecePairs];
std::uint8_t g_piece_pixels[kPiecePairs * 2 * 4];
std::uint8_t g_piece_check[kPiecePairs * 2 * 4];

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
  WordsStart words_start;
  HeaderProblem problem;
  PanelLayout layout;
  std::uint32_t transparent = 0;
  SourcePicture source;
  bool comparing = false;
  Comparison comparison;
  KeyColourReport words_key;  // without a source: the words' pixels near the key
  platform::OutputFile output;
  PngWriter png;
  // The row held for a scaled or compared preview: without a source, the
  // words' pixels as the exact inverse of the encoding gives them back
  // (`check`), to find those near the key.
  std::unique_ptr<std::uint32_t[]> words;
  std::unique_ptr<std::uint8_t[]> pixels;
  std::unique_ptr<std::uint8_t[]> source_row;
  std::unique_ptr<std::uint8_t[]> reference;
  std::unique_ptr<std::uint8_t[]> check;
};

// The writer refused pixels: a failed write, or, after a survey, a colour
// that the first pass did not meet.
int report_png_problem(const Run& run) {
  if (run.png.stray_colour) {
    std::fprintf(stderr, kChanged, run.options->header_path.c_str());
    return kExitOpenHeader;
  }
  std::fprintf(stderr, kCannotWrite, run.options->output_path.c_str());
  return kExitOutput;
}

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
  const std::size_t pixels = s.width;
  run->words.reset(new (std::nothrow) std::uint32_t[pixels / 2]);
  run->pixels.reset(new (std::nothrow) std::uint8_t[pixels * run->layout.channels]);
  run->source_row.reset(new (std::nothrow) std::uint8_t[pixels * 3]);
  run->reference.reset(new (std::nothrow) std::uint8_t[pixels * 3]);
  run->check.reset(new (std::nothrow) std::uint8_t[pixels * 4]);
  if (!run->words || !run->pixels || !run->source_row || !run->reference || !run->check) {
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

// Without a source, the key is known only with --transparent, and only the
// words tell where its colour is: the visible pixels near it are counted as
// the exact inverse of the encoding gives them back, within a few levels of
// the source's. The survey's pass counts nothing.
void count_words_near_key(Run* run, const std::uint32_t* words, std::size_t pairs,
                          PicturePlace first, std::uint8_t* check) {
  if (!run->options->transparent || run->comparing || run->png.surveying) return;
  decode_pairs(words, pairs, Display::kFull, 4, run->transparent, check);
  count_near_key(&run->words_key, check, 4, 2 * pairs, first, run->options->key);
}

// One row of the picture, held, then laid out in its panels.
int put_held_row(Run* run, std::uint32_t y) {
  const std::size_t pairs = run->shape.width / 2;
  if (!read_header_words(&run->text, run->words.get(), pairs, &run->problem)) {
    return report_header_problem(*run->options, run->problem);
  }
  decode_pairs(run->words.get(), pairs, run->options->display, run->layout.channels,
               run->transparent, run->pixels.get());
  count_words_near_key(run, run->words.get(), pairs, {0, y}, run->check.get());
  if (run->comparing) {
    if (!read_source_row(&run->source, run->source_row.get())) {
      std::fputs(kestrin::kImageReadFailed, stderr);
      std::fprintf(stderr, kCannotCompare, run->options->compare_path.c_str());
      return kExitCompare;
    }
    reference_row(run->source_row.get(), run->shape.width, run->options->display,
                  run->reference.get());
    if (!run->png.surveying) {
      compare_row(&run->comparison, run->pixels.get(), run->layout.channels, run->source_row.get(),
                  run->reference.get(), run->shape.width, y, run->layout.key);
    }
  }
  if (!put_panel_rows(&run->png, run->layout, run->pixels.get(), run->source_row.get(),
                      run->reference.get())) {
    return report_png_problem(*run);
  }
  return kExitSuccess;
}

// One row of a plain preview, a piece at a time.
int put_plain_row(Run* run, std::uint32_t y) {
  bool written = true;
  std::uint32_t x = 0;
  for (std::uint64_t left = run->shape.width / 2; left > 0 && written;) {
    const std::size_t pairs = left < kPiecePairs ? static_cast<std::size_t>(left) : kPiecePairs;
    if (!read_header_words(&run->text, g_piece_words, pairs, &run->problem)) {
      return report_header_problem(*run->options, run->problem);
    }
    decode_pairs(g_piece_words, pairs, run->options->display, run->layout.channels,
                 run->transparent, g_piece_pixels);
    count_words_near_key(run, g_piece_words, pairs, {x, y}, g_piece_check);
    written = png_put(&run->png, g_piece_pixels, pairs * 2 * run->layout.channels);
    left -= pairs;
    x += static_cast<std::uint32_t>(2 * pairs);
  }
  return written ? kExitSuccess : report_png_problem(*run);
}

// The picture's rows, into the PNG or through the writer's survey, which
// may settle before the last.
int put_rows(Run* run) {
  const bool held = run->options->scale > 1 || run->comparing;
  for (std::uint32_t y = 0; y < run->shape.height; ++y) {
    if (run->png.surveying && png_survey_settled(run->png)) break;
    const int status = held ? put_held_row(run, y) : put_plain_row(run, y);
    if (status != kExitSuccess) return status;
  }
  return kExitSuccess;
}

// The header read again from its start, through positioned reads.
struct Reread {
  platform::ByteSource source;
  std::uint64_t at;
};

bool read_again(void* context, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  auto* again = static_cast<Reread*>(context);
  if (!again->source.read_at(again->source.context, again->at, buffer, size, got)) return false;
  again->at += *got;
  return true;
}

// A first pass over the pixels finds whether a palette holds them; the
// header's words and the source then start again. A header from a pipe
// cannot be read twice: its PNG goes without.
int survey(Run* run, Reread* again) {
  if (again->source.read_at == nullptr) return kExitSuccess;
  png_begin_survey(&run->png, static_cast<std::uint32_t>(panel_width(run->layout)),
                   run->shape.height * run->options->scale, run->layout.channels);
  const int status = put_rows(run);
  if (status != kExitSuccess) return status;
  png_finish(&run->png);
  again->at = run->words_start.offset;
  reopen_header_words(&run->text, {read_again, nullptr, again->source.size, again},
                      run->words_start);
  if (run->comparing) rewind_source_picture(&run->source);
  return kExitSuccess;
}

// Writes the PNG into the created output, which the caller commits or discards.
int write_picture(Run* run, platform::InputFile* header) {
  const Options& o = *run->options;
  Reread again{platform::input_source(header), 0};
  int status = survey(run, &again);
  if (status != kExitSuccess) return status;
  if (!png_begin(&run->png, platform::binary_output_sink(&run->output),
                 static_cast<std::uint32_t>(panel_width(run->layout)), run->shape.height * o.scale,
                 run->layout.channels)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    return kExitOutput;
  }
  status = put_rows(run);
  if (status != kExitSuccess) return status;
  if (!read_header_tail(&run->text, &run->problem)) {
    return report_header_problem(o, run->problem);
  }
  if (!png_finish(&run->png)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    return kExitOutput;
  }
  return kExitSuccess;
}

// The summary line of a comparison, or with --transparent alone the key
// colour's report when it has anything to say.
int print_report(const Run& run) {
  const Options& o = *run.options;
  const std::uint64_t pixels = std::uint64_t{run.shape.width} * run.shape.height;
  const std::string line =
      run.comparing ? summary_line(o, run.comparison) : key_report_line(o, run.words_key, pixels);
  if (line.empty()) return kExitSuccess;
  if (std::fputs(line.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
    std::fputs(kCannotWriteSummary, stderr);
    return kExitSummary;
  }
  return kExitSuccess;
}

int create_and_write(Run* run, platform::InputFile* header) {
  const Options& o = *run->options;
  // The output replaces its target only at the end, after the header and the
  // source have been read through: it must be neither.
  // Without --compare the header stands in the source's place.
  const platform::InputFile* source = run->comparing ? &run->source.input : header;
  switch (platform::create_output(o.output_path, kTempTag, {header, source}, &run->output)) {
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
  int status = write_picture(run, header);
  png_close(&run->png);
  // What the run found is said before the PNG takes its place, so that a
  // line that cannot be written leaves no PNG that seems to have said it.
  if (status == kExitSuccess) status = print_report(*run);
  if (status == kExitSuccess && !platform::commit_output(&run->output)) {
    std::fprintf(stderr, kCannotWrite, o.output_path.c_str());
    status = kExitOutput;
  }
  if (status != kExitSuccess) platform::discard_output(&run->output);
  return status;
}

int preview_from(Run* run, platform::InputFile* header) {
  const Options& o = *run->options;
  open_header_text(&run->text, platform::input_source(header));
  if (!read_header_head(&run->text, &run->shape, &run->problem)) {
    return report_header_problem(o, run->problem);
  }
  run->words_start = words_start(run->text);
  run->layout.width = run->shape.width;
  run->layout.channels = o.transparent ? 4 : 3;
  run->layout.scale = o.scale;
  run->layout.panels = o.compare_path.empty() ? 1 : 3;
  run->layout.key = o.key;
  run->transparent = transparent_word(o.key);
  int status = kExitSuccess;
  if (!o.compare_path.empty()) status = open_source(run);
  if (status == kExitSuccess) status = check_size(run);
  if (status == kExitSuccess) status = create_and_write(run, header);
  if (run->comparing) close_source_picture(&run->source);
  return status;
}

}  // namespace

int run_preview(int argc, char** argv) {
  Options options;
  std::string mistake;
  int status;
  if (answer_request(read_command_line(argc, argv, &options, &mistake), kWords, mistake, KL_VERSION,
                     kExitUsage, &status)) {
    return status;
  }
  platform::InputFile header;
  if (!platform::open_input(options.header_path.c_str(), &header)) {
    // "--transparent 0x00FF00 sprite.bmp.h" was the way to give a key once.
    Colour3 colour;
    if (options.header_follows_transparent && scan_colour(options.header_path.c_str(), &colour)) {
      std::fprintf(stderr, kColourAsHeader, options.header_path.c_str(),
                   options.header_path.c_str());
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    std::fprintf(stderr, kCannotOpen, options.header_path.c_str());
    return kExitOpenHeader;
  }
  Run run;
  run.options = &options;
  status = preview_from(&run, &header);
  platform::close_input(&header);
  return status;
}

}  // namespace kestrin::preview
