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

void append_warning(ScriptFile& script, const Banner& banner, std::int32_t max_line_len,
                    std::FILE* console) {
  char numbers[32];
  const int length = std::snprintf(numbers, sizeof numbers, "%d > %d",
                                   static_cast<int>(banner.width), static_cast<int>(max_line_len));
  const std::string_view number_text(numbers, static_cast<std::size_t>(length));
  std::fprintf(console, "%.*s%.*s\n", static_cast<int>(kWarningWords.size()), kWarningWords.data(),
               length, numbers);
  append(script, kCommentPrefix);
  append(script, kWarningWords);
  append_line(script, number_text);
}

// The comment line that repeats the text. A game console splits a script
// into commands at every ';' before it looks for "//", so a ';' would run the
// rest of the text as a command; it is written as ':'.
void append_comment(ScriptFile& script, std::string_view text) {
  append(script, kCommentPrefix);
  char* const comment = script.buffer + script.used;
  append_line(script, text);
  // find() is memchr, which passes over the text far faster than a test of
  // every byte; a ';' is rare.
  for (std::size_t at = text.find(';'); at != std::string_view::npos; at = text.find(';', at + 1)) {
    comment[at] = kCommentSemicolon;
  }
}

void append_say_line(ScriptFile& script, const char* row, std::size_t length, bool hide_name) {
  append(script, kSayPrefix);
  if (hide_name) script.buffer[script.used++] = kHideNameByte;
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

void begin_script(ScriptFile& script, std::FILE* stream) {
  script.stream = stream;
  script.used = 0;
  script.failed = false;
  append_line(script, kScriptHeader);
  append(script, kLineEnd);
}

}  // namespace

bool open_script(ScriptFile& script, const char* path) {
  std::FILE* stream = begin_replacement(script.replacement, path);
  if (stream == nullptr) return false;
  std::setvbuf(stream, nullptr, _IONBF, 0);
  begin_script(script, stream);
  return true;
}

void start_script(ScriptFile& script, std::FILE* stream) {
  script.replacement.temporary[0] = '\0';
  begin_script(script, stream);
}

bool write_block(ScriptFile& script, std::string_view text, const Banner& banner,
                 std::int32_t max_line_len, bool hide_name, std::FILE* console) {
  if (max_line_len > 0 && banner.width > max_line_len) {
    append_warning(script, banner, max_line_len, console);
  }
  append_comment(script, text);
  const auto row_length = static_cast<std::size_t>(banner.row_length);
  for (const auto& row : banner.rows) append_say_line(script, row, row_length, hide_name);
  append(script, kLineEnd);
  if (script.used >= kWriteChunkBytes) write_front(script, kWriteChunkBytes);
  return !script.failed;
}

bool close_script(ScriptFile& script) {
  if (script.used > 0) write_front(script, script.used);
  if (!end_replacement(script.replacement, script.stream, !script.failed)) script.failed = true;
  script.stream = nullptr;
  return !script.failed;
}

}  // namespace tallsay
