// Platform services for the page, where the module's streams are in memory:
// reads go through stdio, files are written where they stand, and no file is
// ever the same as another (the rest is in platform_utf8.cpp).
#include "platform/platform.h"

namespace tallsay {

std::FILE* open_file(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

std::FILE* begin_replacement(Replacement& replacement, const char* path) {
  replacement.temporary[0] = '\0';
  replacement.foreign = false;
  return open_file(path, "wb");
}

bool end_replacement(Replacement&, std::FILE* stream, bool keep) {
  return std::fclose(stream) == 0 && keep;
}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  const std::size_t count = std::fread(buffer, 1, size, stream);
  return count > 0 || !std::ferror(stream) ? static_cast<long>(count) : -1;
}

bool is_same_file(std::FILE*, const char*) {
  return false;
}

}  // namespace tallsay
