// The console messages of a run: the usage text and the one-line errors.
#pragma once

#include <cstdio>

namespace tallsay {

enum class Failure {
  kInvalidArgument,  // an argument fits no option
  kNoOutputFile,     // no --out-file= given
  kInputNotFound,    // the input file cannot be opened as a file
  kSameFile,         // input and script are one file
  kOutputOpen,       // the script cannot be created or opened
  kInputRead,        // reading the input failed
  kOutputWrite,      // writing the script failed
};

// Writes the usage text to `out`.
void print_usage(std::FILE* out);

// Writes the message of `failure` to standard error, with `argument` for an
// invalid argument, and the usage text to standard output after the two
// argument errors. Returns the exit status of a failed run, 1.
int report_failure(Failure failure, const char* argument = nullptr);

}  // namespace tallsay
