// The script file writer.
#include "script/script.h"

#include <cstring>

#include "platform/platform.h"

namespace tallsay {
namespace {

// REQUIRES: the buffer has room for `bytes`.
void append(ScriptFile& script, std::string_view bytes) {
  std::memcpy(script.buffer + script.used, bytes.data(), bytes.size());
  script.used += bytes.size();
}

void append_line(ScriptFile& script, std::string_view bytes) {
  append(script, bytes);
  append(script, kLineEnd);
}

// The warning's numbers, "<width> > <limit>", into `numbers`.
std::string_view warning_numbers(const Banner& banner, std::int32_t max_line_len,
                                 char (&numbers)[32]) {
  const int length = std::snprintf(numbers, sizeof numbers, "%d > %d",
                                   static_cast<int>(banner.width), static_cast<int>(max_line_len));
  return std::string_view(numbers, static_cast<std::size_t>(length));
}

// The comment line that repeats the text holds printable ASCII only. A game
// console splits a script into commands at every ';', even inside a comment,
// and stricter ones also at a CR, and, reading a large script line by line,
// at any other control byte or byte beyond ASCII: the rest of the text
// would run as a command. So a ';' is written ':' and every other byte
// outside 0x20 to 0x7E '?'.
char comment_byte(char byte) {
  const auto c = static_cast<unsigned char>(byte);
  if (c < 0x20 || c > 0x7E) return kCommentStandIn;
  return c == ';' ? kCommentSemicolon : byte;
}

void append_comment(ScriptFile& script, std::string_view text, bool utf8) {
  append(script, kCommentPrefix);
  char* const comment = script.buffer + script.used;
  std::size_t length = 0;
  if (!utf8) {
    // A plain loop over the bytes, which the compiler turns into vector code.
    for (; length < text.size(); ++length) comment[length] = comment_byte(text[length]);
  }
  for (std::size_t at = 0; utf8 && at < text.size(); ++length) {
    char32_t character;
    const std::size_t size = read_character_fast(text, at, character);
    comment[length] = size == 1 && character < 0x80 ? comment_byte(text[at]) : kCommentStandIn;
    at += size;
  }
  script.used += length;
  append(script, kLineEnd);
}

void append_say_line(ScriptFile& script, const char* row, std::size_t length,
                     const BlockOptions& options) {
  append(script, options.team ? kSayTeamPrefix : kSayPrefix);
  if (options.hide_name) script.buffer[script.used++] = kHideNameByte;
  append(script, std::string_view(row, length));
  append_line(script, kSayEnd);
}

// Writes `count` bytes from the front of the buffer and moves the rest there.
void write_front(ScriptFile& script, std::size_t count) {
  if (!script.failed && std::fwrite(script.buffer, 1, count, script.stream) != count) {
    script.failed = true;
  }
  script.used -= count;
  std::memmove(script.buffer, script.buffer + count, script.used);
}

bool is_over_limit(const Banner& banner, std::int32_t max_line_len) {
  return max_line_len > 0 && banner.width > max_line_len;
}

// Adds the block of one text line to the buffer (see write_block).
void append_block(ScriptFile& script, std::string_view text, const Banner& banner,
                  const BlockOptions& options) {
  if (is_over_limit(banner, options.max_line_len)) {
    char numbers[32];
    append(script, kCommentPrefix);
    append(script, kWarningWords);
    append_line(script, warning_numbers(banner, options.max_line_len, numbers));
  }
  append_comment(script, text, options.utf8);
  const auto row_length = static_cast<std::size_t>(banner.row_length);
  for (const auto& row : banner.rows) append_say_line(script, row, row_length, options);
  append(script, kLineEnd);
}

void begin_script(ScriptFile& script, std::FILE* stream) {
  script.stream = stream;
  script.used = 0;
  script.failed = false;
  append_line(script, kScriptHeader);
  append(script, kLineEnd);
}

}  // namespace

bool open_script(ScriptFile& script, const char* path) {
  // Refusals that not every system's begin_replacement tells of.
  script.replacement.foreign = false;
  script.replacement.held = false;
  script.replacement.named_stream = false;
  std::FILE* stream = begin_replacement(script.replacement, path);
  if (stream == nullptr) return false;
  std::setvbuf(stream, nullptr, _IONBF, 0);
  begin_script(script, stream);
  return true;
}

void start_script(ScriptFile& script, std::FILE* stream) {
  script.replacement.temporary[0] = '\0';
  script.replacement.copied = false;
  begin_script(script, stream);
}

bool write_block(ScriptFile& script, std::string_view text, const Banner& banner,
                 const BlockOptions& options, std::FILE* console) {
  if (is_over_limit(banner, options.max_line_len)) {
    char numbers[32];
    const std::string_view number_text = warning_numbers(banner, options.max_line_len, numbers);
    std::fprintf(console, "%.*s%.*s\n", static_cast<int>(kWarningWords.size()),
                 kWarningWords.data(), static_cast<int>(number_text.size()), number_text.data());
  }
  append_block(script, text, banner, options);
  if (script.used >= kWriteChunkBytes) write_front(script, kWriteChunkBytes);
  return !script.failed;
}

bool write_line(ScriptFile& script, std::string_view line) {
  append_line(script, line);
  if (script.stream != nullptr && script.used >= kWriteChunkBytes) {
    write_front(script, kWriteChunkBytes);
  }
  return !script.failed;
}

std::string_view script_of_line(ScriptFile& script, std::string_view text, const Banner& banner,
                                const BlockOptions& options) {
  begin_script(script, nullptr);
  append_block(script, text, banner, options);
  return std::string_view(script.buffer, script.used);
}

bool close_script(ScriptFile& script) {
  if (script.used > 0) write_front(script, script.used);
  if (!end_replacement(script.replacement, script.stream, !script.failed)) script.failed = true;
  script.stream = nullptr;
  return !script.failed;
}

}  // namespace tallsay
