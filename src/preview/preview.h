// Preview: shows what the say rows of a script will look like in the game,
// drawing each cell byte as the block character the game's font shows.
#pragma once

#include <cstdio>

#include "platform/platform.h"

namespace tallsay {

enum class PreviewResult {
  kShown,        // every block was written out
  kNotAScript,   // the first line is not the script header; nothing was written
  kWriteFailed,  // writing to the output failed
  kReadFailed,   // reading the script failed; what came before it was written
};

// Reads the script on `in`, with CR LF or LF line ends, and writes the rows
// of every block to `out` in UTF-8, each row ending in LF and each block
// followed by an empty line: a blank for 0x20, U+2580 for 0x96 (upper
// pixel), U+2584 for 0x8B (lower pixel), U+2588 for 0x25 (both). Control
// bytes, the CR of --no-name among them, take no column and are left out;
// any other byte, which the tool never writes there, shows as '?'. Header,
// comment and warning lines are not shown. Stops at the first read error.
PreviewResult preview_script(std::FILE* in, std::FILE* out);

// The whole run of tallsay-preview but the closing of its output: shows the
// script named by the one operand after the program's name (UTF-8), or the
// script on `input` when there is none or it is "-", on console.out; or,
// for -h or --help, the usage, and for --version the version. Returns the
// exit status: 0, or 1 after a one-line message on console.err that says
// why.
int run_preview(int argc, const char* const* argv, std::FILE* input, const Console& console);

// Ends a run that gave `status`: flushes and closes console.out. When that
// fails after a run that had not, says why on console.err and returns 1;
// otherwise returns `status`.
int close_preview(const Console& console, int status);

}  // namespace tallsay
