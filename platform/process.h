// The program's start: UTF-8 arguments and a safe console.
#pragma once

// What the program entry sets up before the run: the command line as UTF-8
// and a console that no file can take the place of.

namespace platform {

// Makes sure the standard descriptors are open (on the null device where they
// are not), so that no file the run opens becomes the console; and, where the
// platform passes the command line in another encoding, replaces `*argv` with
// its UTF-8 form.
void prepare_process(int* argc, char*** argv);

}  // namespace platform
