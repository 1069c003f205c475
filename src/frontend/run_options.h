// Front end: the command-line options, the reader of text lines, and the two
// run modes (batch over a file, interactive over standard input) that take a
// run from its options to its exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "banner/banner.h"
#include "platform/platform.h"
#include "script/script.h"

namespace tallsay {

// The options of one run: those of each block (--line-len=, --no-name,
// --utf8, --team) and the paths. Paths point into the argument vector; a
// null path is absent, an empty one is present.
struct RunOptions : BlockOptions {
  const char* out_path = nullptr;  // --out-file=
  const char* in_path = nullptr;   // --in-file=; absent selects the interactive run
};

enum class ParseOutcome {
  kRun,              // the options are complete
  kInvalidArgument,  // an argument fits no option
  kNoOutputFile,     // no --out-file= among the arguments
};

// Reads the arguments after the program name, left to right; a later option
// overrides an earlier one. Stops at the first argument that fits no option
// and points `bad_argument` at it. Fills `options` as far as it has read.
ParseOutcome parse_options(int argc, const char* const* argv, RunOptions& options,
                           const char*& bad_argument);

// Reads the number of a --line-len= value: leading white space, one optional
// sign, then decimal digits up to the first other byte; no digits read as 0.
// The value wraps modulo 2^32 instead of being range-checked.
std::int32_t parse_line_len(const char* text);

// The line buffer: one text line and its NUL.
inline constexpr std::size_t kLineBufferSize = kMaxTextBytes + 1;

// Input is read from the stream in blocks of this size.
inline constexpr std::size_t kReadBlockBytes = 32 * 1024;

// How the input's bytes become the bytes the reading rules apply to, decided
// by the mark at its start.
enum class InputEncoding : unsigned char {
  kUndecided,  // nothing read yet
  kBytes,      // as they are (a UTF-8 mark, EF BB BF, is dropped)
  kUtf16Le,    // UTF-16 after the mark FF FE, converted to UTF-8
  kUtf16Be,    // UTF-16 after the mark FE FF, converted to UTF-8
};

// Reads text lines from a stream opened in binary mode. It reads only what a
// line needs, so a line typed on a terminal or sent down a pipe is delivered
// without waiting for more.
struct TextReader {
  std::FILE* stream;
  std::size_t read_size;  // bytes asked of the stream at a time
  std::size_t pos;        // next unread byte of `block`
  std::size_t end;        // bytes of `block` that hold input
  bool at_end;            // the stream has reported its end
  bool failed;            // a read has failed; no more lines will come
  bool cr_dropped;        // a CR right before block[pos] was dropped: take that byte as it is
  bool line_goes_on;      // the last line read is a full read's piece of a longer line
  InputEncoding encoding;
  std::size_t raw_pos;  // UTF-16 input: next unconverted byte of `raw`
  std::size_t raw_end;  // UTF-16 input: bytes of `raw` that hold input
  unsigned char block[kReadBlockBytes];
  unsigned char raw[kReadBlockBytes];  // UTF-16 input as read
};

// Starts reading `stream` from where it stands, asking it for at most
// `read_size` bytes at a time. REQUIRES: 1 <= read_size <= kReadBlockBytes.
void start_reading(TextReader& reader, std::FILE* stream, std::size_t read_size = kReadBlockBytes);

// Reads the next text line into `line` and returns its length; 0 means there
// is nothing more to process (end of input, a 0x1A as the first byte of the
// read, an empty line, or a read error, which also sets reader.failed).
// Input that starts with a UTF-8 mark is read without it; input that starts
// with a UTF-16 mark is read as its UTF-8 conversion (an unpaired surrogate or
// a last odd byte becomes U+FFFD).
// A read takes at most 1024 bytes and stops after a line feed. A CR is dropped
// and the byte after it is taken in its place untested for CR; a 0x1A ends the
// read and is not delivered; a NUL ends the text, and the rest of the read is
// lost. The line feed that ends a line is removed, and so is a line feed that
// comes right after a full 1024-byte read (after the CR rule): it ends that
// piece of a long line rather than making an empty line. reader.line_goes_on
// tells whether the line read is such a piece with more of its line to come.
std::size_t read_text_line(char (&line)[kLineBufferSize], TextReader& reader);

// Adds the block of every text line of `reader` to `script`, up to the first
// empty line, with the options' width limit and name hiding; line-length
// warnings go to `warnings`. Stops at the first failed write and returns
// false; returns true when every line was written. A read error ends the
// lines as the end of input does and is left in reader.failed.
bool convert_lines(TextReader& reader, ScriptFile& script, const RunOptions& options,
                   std::FILE* warnings);

// Converts every line of the file `in_path` into the script at `out_path`, up
// to the first empty line. Returns the exit status: 0, or 1 after an error
// message on `console`.
int run_batch(const RunOptions& options, const Console& console);

// Reads lines from `input` and, for every non-empty one, rewrites the script
// at `out_path` to hold the header and that line's block, closed before the
// next line is read. Ends at the first empty line or the end of input.
// Refuses to start when `input` is the script file itself. Returns the exit
// status: 0, or 1 after an error message on `console`.
int run_interactive(const RunOptions& options, std::FILE* input, const Console& console);

// The whole run of the tool: parses the arguments (argv[0] is the program's
// name), then runs the batch run, or the interactive run on `input`. The
// usage text goes to console.out; errors and warnings go to console.err.
// Returns the exit status: 0, or 1 after an error message on `console`, the
// usage text following an argument error.
int run_tallsay(int argc, const char* const* argv, std::FILE* input, const Console& console);

}  // namespace tallsay
