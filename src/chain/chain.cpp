// The chain of scripts, one banner per key press.
#include "chain/chain.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "console/console.h"

namespace tallsay {
namespace {

// The console's names of keys that are not one letter or digit, F1 to F12
// aside.
constexpr std::string_view kKeyNames[] = {
    "TAB",       "ENTER",      "ESCAPE",     "SPACE",        "BACKSPACE",    "UPARROW",
    "DOWNARROW", "LEFTARROW",  "RIGHTARROW", "ALT",          "CTRL",         "SHIFT",
    "INS",       "DEL",        "PGDN",       "PGUP",         "HOME",         "END",
    "PAUSE",     "CAPSLOCK",   "SEMICOLON",  "KP_HOME",      "KP_UPARROW",   "KP_PGUP",
    "KP_5",      "KP_END",     "KP_PGDN",    "KP_LEFTARROW", "KP_DOWNARROW", "KP_RIGHTARROW",
    "KP_ENTER",  "KP_INS",     "KP_DEL",     "KP_SLASH",     "KP_MINUS",     "KP_PLUS",
    "MWHEELUP",  "MWHEELDOWN", "MOUSE1",     "MOUSE2",       "MOUSE3",       "MOUSE4",
    "MOUSE5",
};

bool is_letter_or_digit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return upper(x) == upper(y); });
}

bool is_function_key(std::string_view key) {
  if (key.size() < 2 || key.size() > 3 || upper(key[0]) != 'F') return false;
  if (key.size() == 2) return key[1] >= '1' && key[1] <= '9';
  return key[1] == '1' && key[2] >= '0' && key[2] <= '2';
}

// Writes `parts` one after the other into `out`, a buffer of `size` bytes,
// with a NUL. Returns false, with `out` empty, when they do not fit.
bool join(char* out, std::size_t size, std::initializer_list<std::string_view> parts) {
  std::size_t length = 0;
  for (const std::string_view part : parts) length += part.size();
  out[0] = '\0';
  if (length >= size) return false;
  std::size_t at = 0;
  for (const std::string_view part : parts) {
    std::memcpy(out + at, part.data(), part.size());
    at += part.size();
  }
  out[at] = '\0';
  return true;
}

// Whether `script` passes a limit of the console on its own.
bool passes_a_limit(std::string_view script) {
  char advice[8];
  return describe_advice(measure_script(script), advice, sizeof advice) > 0;
}

// Counts a script written for text line `line` (from 1): `cut` when the
// line is read in pieces, `last` when the script holds its last piece, and
// `over` when the line is to be counted among those over a limit.
void count_script(ChainResult& result, int line, bool cut, bool last, bool over) {
  ++result.written;
  if (last) {
    result.lines = line;
    result.cut_lines += cut ? 1 : 0;
  }
  if (!over) return;
  constexpr int kKept = sizeof result.over_lines / sizeof result.over_lines[0];
  if (result.over_count < kKept) {
    result.over_lines[result.over_count] = line;
    result.over_cut[result.over_count] = cut;
  }
  ++result.over_count;
}

// Writes one script of the chain at `path`: the block of `text` and the
// bind line. Returns false, with errno set, when it cannot.
bool write_chain_script(const char* path, std::string_view text, std::string_view bind,
                        const RunOptions& options, ChainWork& work, std::FILE* warnings) {
  if (!open_script(work.script, path)) return false;
  lay_out_banner(text, work.banner, options.utf8);
  const bool written = write_block(work.script, text, work.banner, options, warnings) &&
                       write_line(work.script, bind);
  return close_script(work.script) && written;
}

ChainResult fail(ChainResult result, ChainOutcome outcome, int error) {
  result.outcome = outcome;
  result.error = error;
  return result;
}

}  // namespace

bool check_script_name(std::string_view typed, char (&name)[kMaxScriptNameBytes + 1]) {
  name[0] = '\0';
  if (typed.empty() || !is_letter_or_digit(typed[0])) return false;
  for (const char c : typed) {
    if (!is_letter_or_digit(c) && c != '_' && c != '-' && c != '.') return false;
  }
  const bool has_extension =
      typed.size() >= kScriptExtension.size() &&
      same_name(typed.substr(typed.size() - kScriptExtension.size()), kScriptExtension);
  return join(name, sizeof name, {typed, has_extension ? "" : kScriptExtension});
}

bool is_key_name(std::string_view key) {
  if (key.size() == 1) return is_letter_or_digit(key[0]);
  if (is_function_key(key)) return true;
  for (const std::string_view name : kKeyNames) {
    if (same_name(key, name)) return true;
  }
  return false;
}

bool chain_script_name(std::string_view first, int index, char (&name)[kMaxScriptNameBytes + 1]) {
  if (index == 0) return join(name, sizeof name, {first});
  const std::string_view stem = first.substr(0, first.size() - kScriptExtension.size());
  const std::string_view extension = first.substr(stem.size());
  char number[16];
  std::snprintf(number, sizeof number, "-%d", index + 1);
  return join(name, sizeof name, {stem, number, extension});
}

std::size_t bind_line(std::string_view key, std::string_view script, char* buffer,
                      std::size_t size) {
  const int length =
      std::snprintf(buffer, size, "bind %.*s \"exec %.*s\"", static_cast<int>(key.size()),
                    key.data(), static_cast<int>(script.size()), script.data());
  if (length < 0) return 0;
  return std::min(static_cast<std::size_t>(length), size - 1);
}

std::string_view chain_script(ScriptFile& script, std::string_view text, const Banner& banner,
                              const RunOptions& options, std::string_view key,
                              std::string_view next) {
  script_of_line(script, text, banner, options);
  char bind[kBindLineBytes];
  write_line(script, std::string_view(bind, bind_line(key, next, bind, sizeof bind)));
  return std::string_view(script.buffer, script.used);
}

ChainResult write_chain(const char* text_path, std::string_view folder, std::string_view first,
                        std::string_view key, const RunOptions& options, ChainWork& work,
                        std::FILE* warnings) {
  ChainResult result{};
  std::FILE* input = open_file(text_path, "rb");
  if (input == nullptr) return fail(result, ChainOutcome::kInputOpenFailed, errno);
  start_reading(work.reader, input);
  // Each script binds the key to the next, so the next line is read before
  // a script is written: the last one, which no line follows, binds the
  // first. A line read in pieces goes on in the next read.
  std::size_t length = read_text_line(work.lines[0], work.reader);
  bool goes_on[2] = {work.reader.line_goes_on, false};
  int line = 0;       // the text line of the script being written, from 1
  int over_line = 0;  // the last line counted among those over a limit
  char name[kMaxScriptNameBytes + 1];
  char next[kMaxScriptNameBytes + 1];
  char path[kMaxPathBytes];
  char bind[kBindLineBytes];
  for (int index = 0; length != 0 && result.outcome == ChainOutcome::kWritten; ++index) {
    const std::string_view text(work.lines[index % 2], length);
    const bool piece_before = index > 0 && goes_on[(index + 1) % 2];
    line += piece_before ? 0 : 1;
    length = read_text_line(work.lines[(index + 1) % 2], work.reader);
    goes_on[(index + 1) % 2] = length != 0 && work.reader.line_goes_on;
    if (!chain_script_name(first, index, name) ||
        !chain_script_name(first, length != 0 ? index + 1 : 0, next) ||
        !join(path, sizeof path, {folder, name})) {
      result = fail(result, ChainOutcome::kNameTooLong, ENAMETOOLONG);
    } else if (is_same_file(input, path)) {
      result = fail(result, ChainOutcome::kSameFile, EEXIST);
    } else if (!write_chain_script(path, text,
                                   std::string_view(bind, bind_line(key, next, bind, sizeof bind)),
                                   options, work, warnings)) {
      result = fail(result, ChainOutcome::kWriteFailed, errno);
    } else {
      const bool over =
          line != over_line &&
          passes_a_limit(chain_script(work.script, text, work.banner, options, key, next));
      if (over) over_line = line;
      const bool last = !goes_on[index % 2] || length == 0;
      count_script(result, line, piece_before || !last, last, over);
    }
  }
  if (result.outcome == ChainOutcome::kWritten && work.reader.failed) {
    result = fail(result, ChainOutcome::kReadFailed, EIO);
  }
  const int error = errno;
  std::fclose(input);
  errno = error;
  return result;
}

}  // namespace tallsay
