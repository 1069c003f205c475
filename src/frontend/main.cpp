// The entry point of tallsay.
#include <cstdio>

#include "frontend/run_options.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  tallsay::use_binary_mode(stdin);
  return tallsay::run_tallsay(argc, argv, stdin, {stdout, stderr});
}
