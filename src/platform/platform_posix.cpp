// Platform services for POSIX systems, where names are bytes and the console
// takes UTF-8 as it is.
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace tallsay {

int with_utf8_arguments(int argc, char** argv, int (*run)(int, const char* const*)) {
  return run(argc, argv);
}

std::FILE* open_file(const char* path, const char* mode) {
  std::FILE* stream = std::fopen(path, mode);
  struct stat info;
  if (stream != nullptr && fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

const char* console_argument(const char* argument, char*, std::size_t) {
  return argument;
}

bool write_text(std::FILE* stream, const char* text, std::size_t size) {
  return std::fwrite(text, 1, size, stream) == size;
}

void use_binary_mode(std::FILE*) {}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = read(fileno(stream), buffer, size);
    if (count >= 0) return static_cast<long>(count);
    if (errno != EINTR) return -1;
  }
}

bool is_same_file(std::FILE* stream, const char* path) {
  struct stat opened;
  struct stat named;
  if (fstat(fileno(stream), &opened) != 0 || stat(path, &named) != 0) return false;
  return S_ISREG(opened.st_mode) && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace tallsay
