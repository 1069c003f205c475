// The console messages of a run.
#include "frontend/messages.h"

namespace tallsay {

void print_usage(std::FILE* out) {
  std::fputs(
      "Usage:\n"
      "  tallsay.exe --out-file=<outfile> [options]\n"
      "\n"
      "Program arguments:\n"
      "  --out-file=<outfile>         Output file (mandatory)\n"
      "  --in-file=<infile>           Input file (only for batch mode)\n"
      "  --line-len=<max line length> Display warning when output too long\n"
      "  --no-name                    Don't show player name (namehack)\n",
      out);
}

int report_failure(Failure failure, const char* argument) {
  switch (failure) {
    case Failure::kInvalidArgument:
      std::fprintf(stderr, "Invalid argument specified: '%s'\n", argument);
      break;
    case Failure::kNoOutputFile:
      std::fputs("Error, no output file specified\n", stderr);
      break;
    case Failure::kInputNotFound:
      std::fputs("Error, input file not found\n", stderr);
      break;
    case Failure::kSameFile:
      std::fputs("Error, input and output file are the same\n", stderr);
      break;
    case Failure::kOutputOpen:
      std::fputs("Error, output file open error\n", stderr);
      break;
    case Failure::kInputRead:
      std::fputs("Error, input read error\n", stderr);
      break;
    case Failure::kOutputWrite:
      std::fputs("Error, output file write error\n", stderr);
      break;
  }
  if (failure == Failure::kInvalidArgument || failure == Failure::kNoOutputFile) {
    print_usage(stdout);
  }
  return 1;
}

}  // namespace tallsay
