// Platform services for POSIX systems: files, raw reads and file identity
// (the rest is in platform_utf8.cpp).
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace tallsay {

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
