// The reader of text lines.
#include <algorithm>
#include <cstring>

#include "frontend/run_options.h"
#include "platform/platform.h"

namespace tallsay {
namespace {

constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kEndMark = 0x1A;

constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf16BeMark[] = {0xFE, 0xFF};
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Reads up to `size` bytes of the stream into `buffer` and returns how many;
// 0 at the end of input or after a read error, which it records.
std::size_t read_into(TextReader& reader, unsigned char* buffer, std::size_t size) {
  const long count = read_some(reader.stream, buffer, size);
  if (count <= 0) (count == 0 ? reader.at_end : reader.failed) = true;
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// True when the `size` bytes at `bytes` begin `mark` and are `complete`ly
// it, or only the start of it.
template <std::size_t N>
bool begins_mark(const unsigned char* bytes, std::size_t size, const unsigned char (&mark)[N],
                 bool complete) {
  return (complete ? size >= N : size < N) && std::memcmp(bytes, mark, std::min(size, N)) == 0;
}

bool is_cut_mark(const unsigned char* bytes, std::size_t size) {
  return begins_mark(bytes, size, kUtf8Mark, false) ||
         begins_mark(bytes, size, kUtf16LeMark, false) ||
         begins_mark(bytes, size, kUtf16BeMark, false);
}

// Decides the encoding from the first bytes, which the first read has put
// into `block`, reading more while they are only the start of a mark. Drops
// a UTF-8 mark; moves what follows a UTF-16 mark to `raw`.
void take_mark(TextReader& reader) {
  while (is_cut_mark(reader.block, reader.end) && !reader.at_end && !reader.failed) {
    reader.end += read_into(reader, reader.block + reader.end,
                            std::min(reader.read_size, sizeof reader.block - reader.end));
  }
  const bool little = begins_mark(reader.block, reader.end, kUtf16LeMark, true);
  if (little || begins_mark(reader.block, reader.end, kUtf16BeMark, true)) {
    reader.encoding = little ? InputEncoding::kUtf16Le : InputEncoding::kUtf16Be;
    reader.raw_end = reader.end - sizeof kUtf16LeMark;
    std::memcpy(reader.raw, reader.block + sizeof kUtf16LeMark, reader.raw_end);
    reader.end = 0;
    return;
  }
  reader.encoding = InputEncoding::kBytes;
  if (begins_mark(reader.block, reader.end, kUtf8Mark, true)) reader.pos = sizeof kUtf8Mark;
}

void put_utf8(TextReader& reader, char32_t code) {
  unsigned char* out = reader.block + reader.end;
  if (code < 0x80) {
    out[0] = static_cast<unsigned char>(code);
    reader.end += 1;
  } else if (code < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (code >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    reader.end += 2;
  } else if (code < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (code >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    reader.end += 3;
  } else {
    out[0] = static_cast<unsigned char>(0xF0 | (code >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    reader.end += 4;
  }
}

char32_t unit_at(const TextReader& reader, std::size_t at) {
  const unsigned char first = reader.raw[at];
  const unsigned char second = reader.raw[at + 1];
  return reader.encoding == InputEncoding::kUtf16Le ? char32_t{first} | char32_t{second} << 8
                                                    : char32_t{first} << 8 | char32_t{second};
}

bool is_high_surrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Converts the UTF-16 in `raw` into UTF-8 at the end of `block`, as much as
// fits. An odd byte, or a high surrogate whose partner may still come, is
// left in `raw` unless the input has ended, when it becomes U+FFFD.
void convert_utf16(TextReader& reader, bool input_ended) {
  while (reader.end + 4 <= sizeof reader.block) {
    const std::size_t left = reader.raw_end - reader.raw_pos;
    if (left < 2) {
      if (left == 0 || !input_ended) return;
      put_utf8(reader, kReplacementCharacter);
      reader.raw_pos += 1;
      continue;
    }
    char32_t code = unit_at(reader, reader.raw_pos);
    std::size_t units = 1;
    if (is_high_surrogate(code)) {
      if (left < 4 && !input_ended) return;
      const char32_t low = left < 4 ? 0 : unit_at(reader, reader.raw_pos + 2);
      if (is_low_surrogate(low)) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        units = 2;
      } else {
        code = kReplacementCharacter;
      }
    } else if (is_low_surrogate(code)) {
      code = kReplacementCharacter;
    }
    put_utf8(reader, code);
    reader.raw_pos += 2 * units;
  }
}

// Refills `block` with converted UTF-16, reading more when what is left in
// `raw` does not make a character. Returns false when nothing more comes.
bool fill_from_utf16(TextReader& reader) {
  reader.pos = 0;
  reader.end = 0;
  for (;;) {
    convert_utf16(reader, reader.at_end || reader.failed);
    if (reader.end > 0) return true;
    if (reader.at_end || reader.failed) return false;
    const std::size_t left = reader.raw_end - reader.raw_pos;
    std::memmove(reader.raw, reader.raw + reader.raw_pos, left);
    reader.raw_pos = 0;
    reader.raw_end = left + read_into(reader, reader.raw + left,
                                      std::min(reader.read_size, sizeof reader.raw - left));
  }
}

// Makes sure `reader.block` holds an unread byte. Returns false at the end of
// input or after a read error, which it records.
bool fill_block(TextReader& reader) {
  if (reader.pos < reader.end) return true;
  if (reader.encoding == InputEncoding::kUtf16Le || reader.encoding == InputEncoding::kUtf16Be) {
    return fill_from_utf16(reader);
  }
  if (reader.at_end || reader.failed) return false;
  reader.pos = 0;
  reader.end = read_into(reader, reader.block, reader.read_size);
  if (reader.encoding != InputEncoding::kUndecided) return reader.end > 0;
  take_mark(reader);
  return fill_block(reader);
}

// Copies bytes up to the next line feed, CR or 0x1A, at most `room` of them.
std::size_t copy_plain_run(TextReader& reader, char* out, std::size_t room) {
  const unsigned char* start = reader.block + reader.pos;
  std::size_t count = std::min(reader.end - reader.pos, room);
  for (const unsigned char special : {kLineFeed, kCarriageReturn, kEndMark}) {
    if (const void* found = std::memchr(start, special, count)) {
      count = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - start);
    }
  }
  std::memcpy(out, start, count);
  reader.pos += count;
  return count;
}

// After a full read: a line feed next, after the CR rule, ends this piece.
// Anything else is left for the next read; so is the byte after a dropped CR,
// which that read then takes as it is. Returns whether the line goes on.
bool take_line_end_of_full_read(TextReader& reader) {
  if (!fill_block(reader)) return false;
  const unsigned char first = reader.block[reader.pos];
  if (first == kLineFeed) ++reader.pos;
  if (first != kCarriageReturn) return first != kLineFeed;
  ++reader.pos;
  if (!fill_block(reader)) return false;
  if (reader.block[reader.pos] == kLineFeed) {
    ++reader.pos;
    return false;
  }
  reader.cr_dropped = true;
  return true;
}

// Delivers up to kMaxTextBytes bytes into `line`, stopping after a line feed,
// and returns how many. Applies the CR and 0x1A rules.
std::size_t deliver_bytes(char* line, TextReader& reader) {
  std::size_t delivered = 0;
  bool untested = reader.cr_dropped;
  reader.cr_dropped = false;
  reader.line_goes_on = false;
  while (delivered < kMaxTextBytes && fill_block(reader)) {
    if (!untested) {
      delivered += copy_plain_run(reader, line + delivered, kMaxTextBytes - delivered);
      if (delivered == kMaxTextBytes || reader.pos == reader.end) continue;
    }
    unsigned char byte = reader.block[reader.pos++];
    if (byte == kCarriageReturn && !untested) {
      if (!fill_block(reader)) break;
      byte = reader.block[reader.pos++];
    }
    untested = false;
    if (byte == kEndMark) break;
    line[delivered++] = static_cast<char>(byte);
    if (byte == kLineFeed) return delivered;
  }
  if (delivered == kMaxTextBytes) reader.line_goes_on = take_line_end_of_full_read(reader);
  return delivered;
}

}  // namespace

void start_reading(TextReader& reader, std::FILE* stream, std::size_t read_size) {
  reader.stream = stream;
  reader.read_size = read_size;
  reader.pos = 0;
  reader.end = 0;
  reader.at_end = false;
  reader.failed = false;
  reader.cr_dropped = false;
  reader.line_goes_on = false;
  reader.encoding = InputEncoding::kUndecided;
  reader.raw_pos = 0;
  reader.raw_end = 0;
}

std::size_t read_text_line(char (&line)[kLineBufferSize], TextReader& reader) {
  const std::size_t delivered = deliver_bytes(line, reader);
  if (reader.failed) {
    line[0] = '\0';
    return 0;
  }
  line[delivered] = '\0';
  // A NUL among the bytes ends the text there.
  const void* nul = std::memchr(line, '\0', delivered);
  std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - line) : delivered;
  if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
  // A NUL ends the text, and so the line, within the piece.
  if (length < kMaxTextBytes) reader.line_goes_on = false;
  return length;
}

}  // namespace tallsay
