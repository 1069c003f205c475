// Platform services shared by the systems whose arguments, file names and
// console are UTF-8 bytes as they stand (POSIX, and the page), and whose
// streams make no difference between text and binary.
#include "platform/platform.h"

namespace tallsay {

int with_utf8_arguments(int argc, ArgChar** argv, int (*run)(int, const char* const*)) {
  return run(argc, argv);
}

const char* console_argument(const char* argument, char*, std::size_t) {
  return argument;
}

bool write_text(std::FILE* stream, const char* text, std::size_t size) {
  return std::fwrite(text, 1, size, stream) == size;
}

void use_binary_mode(std::FILE*) {}

}  // namespace tallsay
