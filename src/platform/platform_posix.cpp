// Platform services for POSIX systems.
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace tallsay {

void use_binary_mode(std::FILE*) {}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = read(fileno(stream), buffer, size);
    if (count >= 0) return static_cast<long>(count);
    if (errno != EINTR) return -1;
  }
}

bool is_directory(std::FILE* stream) {
  struct stat info;
  return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_same_file(std::FILE* stream, const char* path) {
  struct stat open_file;
  struct stat named_file;
  if (fstat(fileno(stream), &open_file) != 0 || stat(path, &named_file) != 0) return false;
  return S_ISREG(open_file.st_mode) && open_file.st_dev == named_file.st_dev &&
         open_file.st_ino == named_file.st_ino;
}

}  // namespace tallsay
