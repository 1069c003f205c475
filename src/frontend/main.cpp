// The entry point of tallsay.
#include <cstdio>

#include "frontend/run_options.h"
#include "platform/platform.h"

int TALLSAY_MAIN(int argc, tallsay::ArgChar** argv) {
  tallsay::prepare_process();
  return tallsay::with_utf8_arguments(argc, argv, [](int count, const char* const* arguments) {
    tallsay::use_binary_mode(stdin);
    return tallsay::run_tallsay(count, arguments, stdin, {stdout, stderr});
  });
}
