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

// Makes sure `reader.block` holds an unread byte. Returns false at the end of
// input or after a read error, which it records.
bool fill_block(TextReader& reader) {
  if (reader.pos < reader.end) return true;
  if (reader.at_end || reader.failed) return false;
  const long count = read_some(reader.stream, reader.block, sizeof reader.block);
  if (count <= 0) {
    (count == 0 ? reader.at_end : reader.failed) = true;
    return false;
  }
  reader.pos = 0;
  reader.end = static_cast<std::size_t>(count);
  return true;
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

// Delivers up to kMaxTextBytes bytes into `line`, stopping after a line feed,
// and returns how many. Applies the CR and 0x1A rules.
std::size_t deliver_bytes(char* line, TextReader& reader) {
  std::size_t delivered = 0;
  while (delivered < kMaxTextBytes && fill_block(reader)) {
    delivered += copy_plain_run(reader, line + delivered, kMaxTextBytes - delivered);
    if (delivered == kMaxTextBytes || reader.pos == reader.end) continue;
    unsigned char byte = reader.block[reader.pos++];
    if (byte == kCarriageReturn) {
      if (!fill_block(reader)) break;
      byte = reader.block[reader.pos++];
    }
    if (byte == kEndMark) break;
    line[delivered++] = static_cast<char>(byte);
    if (byte == kLineFeed) break;
  }
  return delivered;
}

}  // namespace

void start_reading(TextReader& reader, std::FILE* stream) {
  reader.stream = stream;
  reader.pos = 0;
  reader.end = 0;
  reader.at_end = false;
  reader.failed = false;
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
  return length;
}

}  // namespace tallsay
