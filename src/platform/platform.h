// Platform: the console streams of a program, and the few services whose
// form differs between systems: the program's arguments, files opened by
// name, binary streams, raw reads, file identity and console text.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tallsay {

// The console streams a program writes to: its output and its messages.
struct Console {
  std::FILE* out;
  std::FILE* err;
};

// A program starts at TALLSAY_MAIN(int argc, tallsay::ArgChar** argv): on
// Windows that is wmain, which the C runtime hands the arguments in UTF-16
// (programs linked with -municode), so that a name outside the system's ANSI
// code page arrives intact; elsewhere it is main, with the bytes as given.
#ifdef _WIN32
#define TALLSAY_MAIN wmain
using ArgChar = wchar_t;
#else
#define TALLSAY_MAIN main
using ArgChar = char;
#endif

// Calls `run` with the program's arguments `argv` in UTF-8 and returns what
// it returns.
int with_utf8_arguments(int argc, ArgChar** argv, int (*run)(int, const char* const*));

// Opens the file that the UTF-8 `path` names, as std::fopen does with
// `mode`. Returns null with errno set when it cannot; a folder gives EISDIR.
std::FILE* open_file(const char* path, const char* mode);

// Returns the UTF-8 `argument` as the console shows a program's argument:
// in the system's ANSI code page on Windows, written into `buffer` (or
// `argument` itself when it has not room), and `argument` itself elsewhere.
const char* console_argument(const char* argument, char* buffer, std::size_t size);

// Writes `size` bytes of UTF-8 text to `stream`; a Windows console gets it
// as UTF-16, which shows every character whatever its code page. Returns
// false when the write fails.
bool write_text(std::FILE* stream, const char* text, std::size_t size);

// Switches a standard stream to binary mode, so every byte passes unchanged.
void use_binary_mode(std::FILE* stream);

// Reads up to `size` bytes from the descriptor under `stream`, returning as
// soon as any are there (it does not wait to fill `buffer`). Returns the
// count read, 0 at the end of input, or -1 on a read error. Interrupted reads
// are retried. REQUIRES: nothing has been read from `stream` through stdio.
long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size);

// Returns true when `stream` is open on an existing regular file and the
// UTF-8 `path` names that same file (compared by identity, not by spelling).
bool is_same_file(std::FILE* stream, const char* path);

}  // namespace tallsay
