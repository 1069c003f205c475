// Platform: the console streams of a program, and the few services whose
// form differs between systems: binary standard streams, raw reads, and
// telling what a path names.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tallsay {

// The console streams a program writes to: its output and its messages.
struct Console {
  std::FILE* out;
  std::FILE* err;
};

// Switches a standard stream to binary mode, so every byte passes unchanged.
void use_binary_mode(std::FILE* stream);

// Reads up to `size` bytes from the descriptor under `stream`, returning as
// soon as any are there (it does not wait to fill `buffer`). Returns the
// count read, 0 at the end of input, or -1 on a read error. Interrupted reads
// are retried. REQUIRES: nothing has been read from `stream` through stdio.
long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size);

// Returns true when `stream` is open on a directory.
bool is_directory(std::FILE* stream);

// Returns true when `stream` is open on an existing regular file and `path`
// names that same file (compared by identity, not by spelling).
bool is_same_file(std::FILE* stream, const char* path);

}  // namespace tallsay
