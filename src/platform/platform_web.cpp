// Platform services for the page, where the module's streams are in memory:
// reads go through stdio, and no file is ever the same as another.
#include "platform/platform.h"

namespace tallsay {

int with_utf8_arguments(int argc, char** argv, int (*run)(int, const char* const*)) {
  return run(argc, argv);
}

std::FILE* open_file(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

const char* console_argument(const char* argument, char*, std::size_t) {
  return argument;
}

bool write_text(std::FILE* stream, const char* text, std::size_t size) {
  return std::fwrite(text, 1, size, stream) == size;
}

void use_binary_mode(std::FILE*) {}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  const std::size_t count = std::fread(buffer, 1, size, stream);
  return count > 0 || !std::ferror(stream) ? static_cast<long>(count) : -1;
}

bool is_same_file(std::FILE*, const char*) {
  return false;
}

}  // namespace tallsay
