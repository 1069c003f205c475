// tallsay-preview [SCRIPT]: shows the rows of a script as they will look in
// the game. Reads SCRIPT, or standard input when it is absent or "-".
#include <cstdio>

#include "platform/platform.h"
#include "preview/preview.h"

int TALLSAY_MAIN(int argc, tallsay::ArgChar** argv) {
  return tallsay::with_utf8_arguments(argc, argv, [](int count, const char* const* arguments) {
    tallsay::use_binary_mode(stdin);
    const tallsay::Console console = {stdout, stderr};
    return tallsay::close_preview(console, tallsay::run_preview(count, arguments, stdin, console));
  });
}
