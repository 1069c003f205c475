// A writer of printf-style text into a fixed buffer, shared by the words of
// the console's notes and of the window.
#pragma once

#include <cstddef>

namespace tallsay {

// Text gathered in `buffer`, always NUL-terminated; what does not fit in its
// `size` bytes is cut.
struct TextBuffer {
  char* buffer;
  std::size_t size;
  std::size_t length;  // bytes before the NUL

  // Adds the printf-style text of `format`, cut to fit.
  void add(const char* format, ...);
};

// An empty text in the `size` bytes at `buffer`. REQUIRES: size >= 1.
TextBuffer start_text(char* buffer, std::size_t size);

}  // namespace tallsay
