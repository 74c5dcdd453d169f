// The order of a preparation: command line, picture, pixels, BMP, report.

#include "kestrin/prepare/prepare.h"

#include <cstdio>
#include <string>
#include <vector>

#include "kestrin/key_colour_report.h"
#include "kestrin/prepare/bmp_writer.h"
#include "kestrin/prepare/command_line.h"
#include "kestrin/prepare/messages.h"
#include "kestrin/prepare/picture_reader.h"
#include "kestrin/prepare/preparation.h"
#include "kestrin/prepare/ready_bitmap.h"
#include "platform/input_file.h"
#include "platform/memory_streams.h"
#include "platform/output_file.h"

#ifndef KL_VERSION
#define KL_VERSION "unknown"
#endif

namespace kestrin::prepare {

namespace {

// Marks the temporaries of this program's outputs.
constexpr char kTempTag[] = ".kestrin-prepare-";

// No picture of the largest size needs more: 16-bit RGBA stored unpacked
// takes 32 MiB, and the rest is room for what else a file holds.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;

using ull = unsigned long long;

// Everything one preparation holds while it runs.
struct Run {
  const Options* options = nullptr;
  platform::InputFile input;
  // A BMP that Kestrin reads already goes out as it is, from the file, which
  // is then never held (unless it comes from a pipe); any other is held in
  // `bytes` and made into `prepared`.
  bool copied = false;
  std::vector<std::uint8_t> bytes;
  PreparedPicture prepared;
  // What the report says: the BMP's size and the key colour's traps.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  KeyColourReport report;
  platform::OutputFile output;
};

// Reads the picture's file whole, from its start (a file that can seek may
// have been read in part already).
int read_file(Run* run) {
  const char* path = run->options->picture_path.c_str();
  const platform::ByteSource in = platform::input_source(&run->input);
  std::uint8_t block[64 * 1024];
  for (;;) {
    std::size_t got = 0;
    const bool read = in.read_at != nullptr
                          ? in.read_at(in.context, run->bytes.size(), block, sizeof block, &got)
                          : in.read(in.context, block, sizeof block, &got);
    if (!read) {
      std::fprintf(stderr, kCannotRead, path);
      return kExitOpenPicture;
    }
    if (got == 0) return kExitSuccess;
    if (run->bytes.size() + got > kMaxFileBytes) {
      std::fprintf(stderr, kFileTooLarge, path, static_cast<ull>(kMaxFileBytes));
      return kExitTooLarge;
    }
    run->bytes.insert(run->bytes.end(), block, block + got);
  }
}

int report_problem(const Options& o, const PictureProblem& p) {
  const char* path = o.picture_path.c_str();
  const char* format = p.format == PictureFormat::kPng ? "PNG" : "BMP";
  switch (p.kind) {
    case PictureProblem::Kind::kNone:
    case PictureProblem::Kind::kUnknownFormat:
      std::fprintf(stderr, kNotAPicture, path);
      break;
    case PictureProblem::Kind::kDamaged:
      std::fprintf(stderr, kDamaged, path, format, p.detail.c_str());
      break;
    case PictureProblem::Kind::kUnsupported:
      std::fprintf(stderr, kUnsupported, path, format, p.detail.c_str());
      break;
    case PictureProblem::Kind::kTooLarge:
      std::fprintf(stderr, kTooLarge, path, static_cast<ull>(p.width), static_cast<ull>(p.height),
                   static_cast<ull>(kMaxSide), static_cast<ull>(kMaxPixels));
      return kExitTooLarge;
  }
  return kExitBadPicture;
}

// Counts the traps of the BMP that `prepared` will be.
void count_prepared_traps(Run* run) {
  const PreparedPicture& p = run->prepared;
  for (std::uint32_t y = 0; y < p.height; ++y) {
    const std::uint8_t* row = p.rgb.data() + std::size_t{y} * p.width * 3;
    count_near_key(&run->report, row, 3, p.width, PicturePlace{0, y}, run->options->key);
    count_lone_key(&run->report, row, 3, p.width, PicturePlace{0, y}, run->options->key);
  }
  run->width = p.width;
  run->height = p.height;
}

// A BMP that Kestrin reads already, from `in`: its traps are counted as
// Kestrin will see its pixels, and it is copied later.
bool take_ready(Run* run, const platform::ByteSource& in) {
  PixelBuffer pixels;
  if (!open_ready_bitmap(in, &pixels)) return false;
  run->copied = true;
  run->width = pixels.width;
  run->height = pixels.height;
  return count_ready_traps(&pixels, run->options->key, &run->report);
}

int prepare_picture(Run* run) {
  const Options& o = *run->options;
  // A file, which can seek, is checked where it lies, whatever its size; a
  // pipe is read whole first.
  if (run->input.size >= 0) {
    if (take_ready(run, platform::input_source(&run->input))) return kExitSuccess;
    if (run->copied) {
      std::fprintf(stderr, kCannotRead, o.picture_path.c_str());
      return kExitOpenPicture;
    }
  }
  const int status = read_file(run);
  if (status != kExitSuccess) return status;
  platform::MemoryInput memory{run->bytes.data(), run->bytes.size(), 0, 0};
  if (run->input.size < 0 && take_ready(run, platform::memory_source(&memory, true))) {
    return kExitSuccess;
  }
  Picture picture;
  PictureProblem problem;
  if (!read_picture(run->bytes.data(), run->bytes.size(), &picture, &problem)) {
    return report_problem(o, problem);
  }
  prepare_pixels(picture, o.key, o.alpha_threshold, &run->prepared);
  count_prepared_traps(run);
  return kExitSuccess;
}

// Copies the whole of a file that can seek, from its start.
bool copy_file(platform::InputFile* input, platform::ByteSink sink) {
  const platform::ByteSource in = platform::input_source(input);
  std::uint8_t block[64 * 1024];
  for (std::uint64_t at = 0;; at += sizeof block) {
    std::size_t got = 0;
    if (!in.read_at(in.context, at, block, sizeof block, &got)) return false;
    if (got > 0 && !sink.write(sink.context, reinterpret_cast<const char*>(block), got)) {
      return false;
    }
    if (got < sizeof block) return true;
  }
}

bool write_output(Run* run) {
  const platform::ByteSink sink = platform::binary_output_sink(&run->output);
  if (run->copied && run->input.size >= 0) return copy_file(&run->input, sink);
  if (run->copied) {
    return sink.write(sink.context, reinterpret_cast<const char*>(run->bytes.data()),
                      run->bytes.size());
  }
  const PreparedPicture& p = run->prepared;
  return write_bmp(sink, p.width, p.height, p.rgb.data());
}

// One line on what Magic Pink will do to the BMP.
int print_report(const Run& run) {
  const Options& o = *run.options;
  const std::uint64_t pixels = std::uint64_t{run.width} * run.height;
  std::string line = formatted(kReport, o.picture_path, o.output_path) +
                     formatted(kReportSize, std::to_string(run.width), std::to_string(run.height));
  if (run.copied) line += kCopied;
  if (run.prepared.padded) line += kPadded;
  bool said = false;
  for (const std::string& clause :
       {opaque_key_clause(run.prepared.opaque_keys, run.prepared.first_opaque_key, pixels),
        near_key_clause(run.report, pixels), lone_key_clause(run.report, pixels)}) {
    if (clause.empty()) continue;
    line += kClauseBreak + clause;
    said = true;
  }
  if (!said) line += kNoTraps;
  line += '\n';
  if (std::fputs(line.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
    std::fputs(kCannotWriteReport, stderr);
    return kExitReport;
  }
  return kExitSuccess;
}

int create_and_write(Run* run) {
  const Options& o = *run->options;
  const char* path = o.output_path.c_str();
  switch (platform::create_output(o.output_path, kTempTag, {&run->input}, &run->output)) {
    case platform::CreateResult::kCreated:
      break;
    case platform::CreateResult::kIsInput:
      std::fprintf(stderr, o.output_given ? kIsPicture : kOwnDefault, path);
      return kExitOutput;
    case platform::CreateResult::kCannotCreate:
      std::fprintf(stderr, kCannotCreate, path);
      return kExitOutput;
  }
  if (!write_output(run)) {
    platform::discard_output(&run->output);
    std::fprintf(stderr, kCannotWrite, path);
    return kExitOutput;
  }
  // The report goes out before the BMP takes its place, so that a run that
  // fails to report leaves an earlier BMP as it was.
  const int reported = o.quiet ? kExitSuccess : print_report(*run);
  if (reported != kExitSuccess) {
    platform::discard_output(&run->output);
    return reported;
  }
  if (!platform::commit_output(&run->output)) {
    std::fprintf(stderr, kCannotWrite, path);
    return kExitOutput;
  }
  return kExitSuccess;
}

int prepare_from(Run* run) {
  int status = prepare_picture(run);
  // The picture stays open until the BMP is made, so that it is never
  // replaced under another name.
  if (status == kExitSuccess) status = create_and_write(run);
  return status;
}

}  // namespace

int run_prepare(int argc, char** argv) {
  Options options;
  std::string mistake;
  int status;
  if (answer_request(read_command_line(argc, argv, &options, &mistake), kWords, mistake, KL_VERSION,
                     kExitUsage, &status)) {
    return status;
  }
  Run run;
  run.options = &options;
  if (!platform::open_input(options.picture_path.c_str(), &run.input)) {
    std::fprintf(stderr, kCannotOpen, options.picture_path.c_str());
    return kExitOpenPicture;
  }
  status = prepare_from(&run);
  platform::close_input(&run.input);
  return status;
}

}  // namespace kestrin::prepare
