// The entry point: options, then one run mode, then the exit status.
#include <cstdio>

#include "frontend/messages.h"
#include "frontend/platform.h"
#include "frontend/run_options.h"

int main(int argc, char** argv) {
  using namespace tallsay;
  RunOptions options;
  const char* bad_argument = nullptr;
  switch (parse_options(argc, argv, options, bad_argument)) {
    case ParseOutcome::kInvalidArgument:
      return report_failure(Failure::kInvalidArgument, bad_argument);
    case ParseOutcome::kNoOutputFile:
      return report_failure(Failure::kNoOutputFile);
    case ParseOutcome::kRun:
      break;
  }
  if (options.in_path != nullptr) return run_batch(options);
  use_binary_mode(stdin);
  return run_interactive(options, stdin);
}
