// tallsay-preview [SCRIPT]: shows the rows of a script as they will look in
// the game. Reads SCRIPT, or standard input when it is absent or "-".
#include <cstdio>

#include "platform/platform.h"
#include "preview/preview.h"

int main(int argc, char** argv) {
  tallsay::use_binary_mode(stdin);
  tallsay::use_binary_mode(stdout);
  return tallsay::run_preview(argc, argv, stdin, {stdout, stderr});
}
