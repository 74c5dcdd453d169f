// Reading kestrin-preview's command line into its options.

#include "kestrin/preview/command_line.h"

#include <cstdio>
#include <cstring>

#include "kestrin/colour_argument.h"
#include "kestrin/preview/messages.h"

namespace kestrin::preview {

namespace {

constexpr unsigned kMaxScale = 16;

std::string formatted(const char* format, const std::string& text) {
  char line[512];
  std::snprintf(line, sizeof line, format, text.c_str());
  return line;
}

std::string formatted(const char* format, const std::string& name, const std::string& text) {
  char line[768];
  std::snprintf(line, sizeof line, format, name.c_str(), text.c_str());
  return line;
}

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

// One option and its value, if it has one (`has_value`). Options that take
// a value and were given without "=" take the next argument (`*used_next`).
bool read_option(const std::string& name, bool has_value, std::string value, const char* next,
                 Options* options, bool* used_next, std::string* mistake) {
  const bool wants_value =
      name == "--display" || name == "--scale" || name == "--compare" || name == "--key";
  if (wants_value && !has_value) {
    if (next == nullptr) {
      *mistake = formatted(kMissingValue, name);
      return false;
    }
    value = next;
    *used_next = true;
  }
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
      options->header_path = argument;
      options->header_follows_transparent = i > 1 && std::strcmp(argv[i - 1], "--transparent") == 0;
      ++paths;
    } else if (paths == 1) {
      options->output_path = argument;
      ++paths;
    } else {
      *mistake = formatted(kTooManyArguments, argument);
      return Request::kMistake;
    }
  }
  if (help) return Request::kHelp;
  if (version) return Request::kVersion;
  if (paths == 0) {
    *mistake = kNoHeader;
    return Request::kMistake;
  }
  if (paths == 1) options->output_path = options->header_path + ".png";
  return Request::kPreview;
}

}  // namespace kestrin::preview
