// The console messages of a run.
#include "frontend/messages.h"

#include <cstddef>

namespace tallsay {

namespace {

void print_usage(std::FILE* out) {
  std::fputs(
      "Usage:\n"
      "  tallsay.exe --out-file=<outfile> [options]\n"
      "\n"
      "Program arguments:\n"
      "  --out-file=<outfile>         Output file (mandatory)\n"
      "  --in-file=<infile>           Input file (only for batch mode)\n"
      "  --line-len=<max line length> Display warning when output too long\n"
      "  --no-name                    Don't show player name (namehack)\n"
      "  --utf8                       Draw letters beyond ASCII (UTF-8 text)\n"
      "  --team                       Say to the team only (say_team)\n",
      out);
}

// The message of each failure, in the order of the enum; an invalid
// argument's message is completed with the argument.
const char* const kMessages[] = {
    "Invalid argument specified: '%s'\n",
    "Error, no output file specified\n",
    "Error, input file not found\n",
    "Error, input and output file are the same\n",
    "Error, output file open error\n",
    "Error, input read error\n",
    "Error, output file write error\n",
    "Error, output file is reached through another user's link\n",
    "Error, output file is held open by another program\n",
    "Error, output file name holds ':', which names a stream of a file\n",
};
static_assert(sizeof kMessages / sizeof *kMessages ==
                  static_cast<std::size_t>(Failure::kNamedStream) + 1,
              "a message for every failure");

}  // namespace

int report_failure(const Console& console, Failure failure, const char* argument) {
  char shown[65536];
  // The argument is passed as a value, never used as the format.
  std::fprintf(console.err, kMessages[static_cast<int>(failure)],
               argument ? console_argument(argument, shown, sizeof shown) : "");
  if (failure == Failure::kInvalidArgument || failure == Failure::kNoOutputFile) {
    print_usage(console.out);
  }
  return 1;
}

}  // namespace tallsay
