// Reading kestrin-preview's command line into its options.

#include "kestrin/preview/command_line.h"

#include <cstdio>
#include <cstring>

#include "kestrin/colour_argument.h"
#include "kestrin/preview/messages.h"

namespace kestrin::preview {

namespace {

constexpr unsigned kMaxScale = 16;

// A whole number from 1 to kMaxScale, in decimal digits only.
bool read_scale(const std::string& text, unsigned* scale) {
  if (text.empty() || text.size() > 2) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > kMaxScale) return false;
  *scale = value;
  return true;
}

bool takes_value(const std::string& option) {
  return option == "--display" || option == "--scale" || option == "--compare" || option == "--key";
}

// One option and its value, if it has one.
bool read_option(const CommandWord& option, void* read_options, std::string* mistake) {
  auto* options = static_cast<Options*>(read_options);
  const std::string& name = option.text;
  const bool has_value = option.has_value;
  const std::string& value = option.value;
  if (name == "--display") {
    if (value == "console") {
      options->display = Display::kConsole;
    } else if (value == "full") {
      options->display = Display::kFull;
    } else {
      *mistake = formatted(kBadDisplay, value);
      return false;
    }
  } else if (name == "--scale") {
    if (!read_scale(value, &options->scale)) {
      *mistake = formatted(kBadScale, value);
      return false;
    }
  } else if (name == "--compare") {
    if (value.empty()) {
      *mistake = formatted(kMissingValue, name);
      return false;
    }
    options->compare_path = value;
  } else if (name == "--key" || (name == "--transparent" && has_value)) {
    // The colour is read as Kestrin reads its own, so the same text names
    // the same key in both programs. "--transparent=<key>" gives the key and
    // shows it, as it always has.
    if (!scan_colour(value.c_str(), &options->key)) {
      *mistake = formatted(kBadColour, name, value);
      return false;
    }
    options->transparent |= name == "--transparent";
  } else if (name == "--transparent") {
    options->transparent = true;
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
  const CommandWord& header = line.names[0];
  options->header_path = header.text;
  options->header_follows_transparent =
      header.index > 1 && std::strcmp(argv[header.index - 1], "--transparent") == 0;
  options->output_path = line.names.size() == 2 ? line.names[1].text : header.text + ".png";
  return CommandRequest::kRun;
}

}  // namespace kestrin::preview
