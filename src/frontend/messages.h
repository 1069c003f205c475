// The console messages of a run: the usage text and the one-line errors.
#pragma once

#include "frontend/run_options.h"

namespace tallsay {

enum class Failure {
  kInvalidArgument,  // an argument fits no option
  kNoOutputFile,     // no --out-file= given
  kInputNotFound,    // the input file cannot be opened as a file
  kSameFile,         // input and script are one file
  kOutputOpen,       // the script cannot be created or opened
  kInputRead,        // reading the input failed
  kOutputWrite,      // writing the script failed
  kForeignLink,      // the script is reached through a link another user controls
  kOutputHeld,       // another program held the script open until the run gave up
  kNamedStream,      // the script's name holds ':', which names a stream of a file
};

// Writes the message of `failure` to `console.err`, with `argument` for an
// invalid argument, and the usage text to `console.out` after the two
// argument errors. Returns the exit status of a failed run, 1.
int report_failure(const Console& console, Failure failure, const char* argument = nullptr);

}  // namespace tallsay
