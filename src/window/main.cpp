// The entry point of tallsay-window, the Windows player's window.
#include "platform/platform.h"
#include "window/window.h"

int TALLSAY_MAIN(int argc, tallsay::ArgChar** argv) {
  return tallsay::with_utf8_arguments(argc, argv, tallsay::run_window);
}
