// Reading kestrin-prepare's command line into its options.

#include "kestrin/prepare/command_line.h"

#include <cstdio>

#include "kestrin/colour_argument.h"
#include "kestrin/prepare/messages.h"

namespace kestrin::prepare {

namespace {

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

bool takes_value(const std::string& option) {
  return option == "--key" || option == "--alpha-threshold";
}

// One option and its value, if it has one.
bool read_option(const CommandWord& option, void* read_options, std::string* mistake) {
  auto* options = static_cast<Options*>(read_options);
  const std::string& name = option.text;
  const bool has_value = option.has_value;
  const std::string& value = option.value;
  if (!takes_value(name) && has_value) {
    *mistake = formatted(name == "--quiet" ? kNoValueWanted : kUnknownOption, name);
    return false;
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

CommandRequest read_command_line(int argc, char** argv, Options* options, std::string* mistake) {
  *options = Options();
  CommandLine line;
  const CommandRequest request = read_companion_command_line(argc, argv, kWords, takes_value,
                                                             read_option, options, &line, mistake);
  if (request != CommandRequest::kRun) return request;
  options->picture_path = line.names[0].text;
  options->output_given = line.names.size() == 2;
  options->output_path =
      options->output_given ? line.names[1].text : default_output(options->picture_path);
  return CommandRequest::kRun;
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
