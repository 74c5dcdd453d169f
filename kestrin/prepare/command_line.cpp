// Reading kestrin-prepare's command line into its options.

#include "kestrin/prepare/command_line.h"

#include <cstdio>

#include "kestrin/colour_argument.h"
#include "kestrin/prepare/messages.h"

namespace kestrin::prepare {

namespace {

std::string formatted(const char* format, const std::string& text) {
  char line[512];
  std::snprintf(line, sizeof line, format, text.c_str());
  return line;
}

// A whole number from 0 to 255, in decimal digits only.
bool read_threshold(const std::string& text, unsigned* threshold) {
  if (text.empty() || text.size() > 3) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 255) return false;
  *threshold = value;
  return true;
}

// One option and its value. Options that take a value and were given
// without "=" take the next argument (`*used_next`).
bool read_option(const std::string& name, bool has_value, std::string value, const char* next,
                 Options* options, bool* used_next, std::string* mistake) {
  const bool wants_value = name == "--key" || name == "--alpha-threshold";
  if (!wants_value && has_value) {
    *mistake = formatted(name == "--quiet" ? kNoValueWanted : kUnknownOption, name);
    return false;
  }
  if (wants_value && !has_value) {
    if (next == nullptr) {
      *mistake = formatted(kMissingValue, name);
      return false;
    }
    value = next;
    *used_next = true;
  }
  if (name == "--key") {
    // Read as Kestrin reads its own, so the same text names the same key in
    // every program.
    if (!scan_colour(value.c_str(), &options->key)) {
      *mistake = formatted(kBadKey, value);
      return false;
    }
  } else if (name == "--alpha-threshold") {
    if (!read_threshold(value, &options->alpha_threshold)) {
      *mistake = formatted(kBadThreshold, value);
      return false;
    }
  } else if (name == "--quiet") {
    options->quiet = true;
  } else {
    *mistake = formatted(kUnknownOption, name);
    return false;
  }
  return true;
}

}  // namespace

Request read_command_line(int argc, char** argv, Options* options, std::string* mistake) {
  *options = Options();
  bool help = false, version = false, options_end = false;
  int paths = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!options_end && argument == "--") {
      options_end = true;
    } else if (!options_end && argument.size() > 1 && argument[0] == '-') {
      const std::size_t equals = argument.find('=');
      const std::string name = argument.substr(0, equals);
      const bool has_value = equals != std::string::npos;
      if (name == "--help" || name == "-h" || name == "--version") {
        if (has_value) {
          *mistake = formatted(kNoValueWanted, name);
          return Request::kMistake;
        }
        (name == "--version" ? version : help) = true;
        continue;
      }
      bool used_next = false;
      if (!read_option(name, has_value, has_value ? argument.substr(equals + 1) : std::string(),
                       i + 1 < argc ? argv[i + 1] : nullptr, options, &used_next, mistake)) {
        return Request::kMistake;
      }
      if (used_next) ++i;
    } else if (paths == 0) {
      options->picture_path = argument;
      ++paths;
    } else if (paths == 1) {
      options->output_path = argument;
      options->output_given = true;
      ++paths;
    } else {
      *mistake = formatted(kTooManyArguments, argument);
      return Request::kMistake;
    }
  }
  if (help) return Request::kHelp;
  if (version) return Request::kVersion;
  if (paths == 0) {
    *mistake = kNoPicture;
    return Request::kMistake;
  }
  if (paths == 1) options->output_path = default_output(options->picture_path);
  return Request::kPrepare;
}

std::string default_output(const std::string& picture) {
  // The name begins after the last separator, '\' included on every
  // platform, so that the same path gives the same name everywhere; a dot
  // that begins the name (".ship") starts no extension.
  const std::size_t name = picture.find_last_of("/\\") + 1;
  const std::size_t dot = picture.rfind('.');
  if (dot == std::string::npos || dot <= name) return picture + ".bmp";
  return picture.substr(0, dot) + ".bmp";
}

}  // namespace kestrin::prepare
