// The command-line conventions of Kestrin's companions, and their answers to --help, --version and
// mistakes.
#pragma once

// Options come before or after the names, as "--name value" or
// "--name=value", and "--" ends them; --help (or -h) and --version win over
// anything else that is well formed; of an option given twice, the last
// counts. Each companion says which options take a value and what each
// means; its words stay in its own messages.h.

#include <string>
#include <vector>

namespace kestrin {

enum class CommandRequest {
  kRun,  // the options ask for a run
  kHelp,
  kVersion,
  kMistake,  // the mistake says what is wrong, in one line without its end
};

// A companion's own words for what every companion says.
struct CompanionWords {
  const char* usage;          // "usage: ...\n"
  const char* help;           // the rest of --help
  const char* version;        // "<program> %s\n", given the project's version
  const char* mistake;        // "<program>: %s\n", given the mistake
  const char* missing_value;  // "%s needs a value", given the option
  const char* no_value;       // "%s takes no value", given the option
  const char* too_many;       // "... '%s' is a third", given the third name
  const char* no_name;        // "no ... given"
};

// One argument after the program's name: an option and its value, or a name.
struct CommandWord {
  bool is_option = false;
  std::string text;        // the option ("--key") or the name
  std::string value;       // the option's value
  bool has_value = false;  // after "=", or the next argument for an option that takes one
  int index = 0;           // where it stands in argv
};

struct CommandLine {
  std::vector<CommandWord> options;  // in the order given
  std::vector<CommandWord> names;
  bool help = false;
  bool version = false;
};

// Splits argv[1..argc-1] into options and names; an option for which
// `takes_value` is true takes the next argument as its value unless it has
// one after "=". False, with `*mistake`, where such an option has no value
// or --help or --version has one.
bool split_command_line(int argc, char** argv, bool (*takes_value)(const std::string& option),
                        const CompanionWords& words, CommandLine* line, std::string* mistake);

// Reads the whole command line: splits it, hands each option, in order, to
// `read_option` (which fills the companion's `options` or says what is
// wrong), and checks that one or two names are given, which `line` holds.
CommandRequest read_companion_command_line(int argc, char** argv, const CompanionWords& words,
                                           bool (*takes_value)(const std::string& option),
                                           bool (*read_option)(const CommandWord& option,
                                                               void* options, std::string* mistake),
                                           void* options, CommandLine* line, std::string* mistake);

// One line of the companion's words, `format` given `text` (and `more`), of
// any length.
std::string formatted(const char* format, const std::string& text);
std::string formatted(const char* format, const std::string& text, const std::string& more);

// Prints the answer to a request that is not a run (the help and the
// version on standard output, a mistake and the usage on the error stream)
// and sets `*status` to 0 or `usage_status`; false for a run.
bool answer_request(CommandRequest request, const CompanionWords& words, const std::string& mistake,
                    const char* project_version, int usage_status, int* status);

}  // namespace kestrin
