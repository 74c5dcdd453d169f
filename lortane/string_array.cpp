// Lortane's command line and the order of its steps: input, output, array.

#include "lortane/string_array.h"

#include <cstdio>

#include "lortane/array_writer.h"
#include "lortane/messages.h"
#include "platform/input_file.h"
#include "platform/output_file.h"

namespace lortane {

namespace {

// Marks the temporaries of this program's outputs.
constexpr char kTempTag[] = ".lortane-";

// Each line is flushed at once so that a build log shows how far a run got,
// even when it is ended by a signal.
void say(const char* format, const char* argument) {
  std::printf(format, argument);
  std::fflush(stdout);
}

void say(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

int run_string_array(int argc, char** argv) {
  say(kBanner);
  if (argc != 4) {
    say(kUsage);
    return kExitUsage;
  }
  const char* variable_name = argv[1];
  const char* input_path = argv[2];
  const char* output_path = argv[3];

  say(kOpeningInput, input_path);
  platform::InputFile input;
  if (!platform::open_input(input_path, &input)) {
    say(kCannotOpen, input_path);
    return kExitCannotOpen;
  }

  say(kOpeningOutput, output_path);
  platform::OutputFile output;
  const platform::CreateResult created =
      platform::create_output(output_path, kTempTag, {&input}, &output);
  if (created != platform::CreateResult::kCreated) {
    platform::close_input(&input);
    if (created == platform::CreateResult::kIsInput) {
      say(kSameFile, input_path);
    } else {
      say(kCannotOpen, output_path);
    }
    return kExitCannotOpen;
  }

  say(kUsingName, variable_name);
  const ArrayResult result = write_string_array(
      variable_name, input_path, platform::input_source(&input), platform::output_sink(&output));
  platform::close_input(&input);
  if (result == ArrayResult::kReadFailed) {
    platform::discard_output(&output);
    say(kReadError, input_path);
    return kExitReadOrWrite;
  }
  if (result == ArrayResult::kWriteFailed) {
    platform::discard_output(&output);
    say(kWriteError, output_path);
    return kExitReadOrWrite;
  }
  if (!platform::commit_output(&output)) {
    say(kWriteError, output_path);
    return kExitReadOrWrite;
  }
  return kExitSuccess;
}

}  // namespace lortane
