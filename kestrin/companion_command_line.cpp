// Splitting a companion's arguments, and answering --help, --version and mistakes.

#include "kestrin/companion_command_line.h"

#include <cstdio>

namespace kestrin {

bool split_command_line(int argc, char** argv, bool (*takes_value)(const std::string& option),
                        const CompanionWords& words, CommandLine* line, std::string* mistake) {
  *line = CommandLine();
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!options_end && argument == "--") {
      options_end = true;
      continue;
    }
    CommandWord word;
    word.index = i;
    if (options_end || argument.size() < 2 || argument[0] != '-') {
      word.text = argument;
      line->names.push_back(word);
      continue;
    }
    const std::size_t equals = argument.find('=');
    word.is_option = true;
    word.text = argument.substr(0, equals);
    word.has_value = equals != std::string::npos;
    if (word.has_value) word.value = argument.substr(equals + 1);
    if (word.text == "--help" || word.text == "-h" || word.text == "--version") {
      if (word.has_value) {
        *mistake = formatted(words.no_value, word.text);
        return false;
      }
      (word.text == "--version" ? line->version : line->help) = true;
      continue;
    }
    if (!word.has_value && takes_value(word.text)) {
      if (i + 1 == argc) {
        *mistake = formatted(words.missing_value, word.text);
        return false;
      }
      word.value = argv[++i];
      word.has_value = true;
    }
    line->options.push_back(word);
  }
  return true;
}

CommandRequest read_companion_command_line(int argc, char** argv, const CompanionWords& words,
                                           bool (*takes_value)(const std::string& option),
                                           bool (*read_option)(const CommandWord& option,
                                                               void* options, std::string* mistake),
                                           void* options, CommandLine* line, std::string* mistake) {
  if (!split_command_line(argc, argv, takes_value, words, line, mistake)) {
    return CommandRequest::kMistake;
  }
  for (const CommandWord& option : line->options) {
    if (!read_option(option, options, mistake)) return CommandRequest::kMistake;
  }
  if (line->names.size() > 2) {
    *mistake = formatted(words.too_many, line->names[2].text);
    return CommandRequest::kMistake;
  }
  if (line->help) return CommandRequest::kHelp;
  if (line->version) return CommandRequest::kVersion;
  if (line->names.empty()) {
    *mistake = words.no_name;
    return CommandRequest::kMistake;
  }
  return CommandRequest::kRun;
}

std::string formatted(const char* format, const std::string& text, const std::string& more) {
  const int length = std::snprintf(nullptr, 0, format, text.c_str(), more.c_str());
  if (length <= 0) return std::string();
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(&line[0], line.size(), format, text.c_str(), more.c_str());
  line.pop_back();
  return line;
}

std::string formatted(const char* format, const std::string& text) {
  return formatted(format, text, std::string());
}

bool answer_request(CommandRequest request, const CompanionWords& words, const std::string& mistake,
                    const char* project_version, int usage_status, int* status) {
  switch (request) {
    case CommandRequest::kHelp:
      std::fputs(words.usage, stdout);
      std::fputs(words.help, stdout);
      *status = 0;
      return true;
    case CommandRequest::kVersion:
      std::printf(words.version, project_version);
      *status = 0;
      return true;
    case CommandRequest::kMistake:
      std::fprintf(stderr, words.mistake, mistake.c_str());
      std::fputs(words.usage, stderr);
      *status = usage_status;
      return true;
    case CommandRequest::kRun:
      break;
  }
  return false;
}

}  // namespace kestrin
