// What a typed line and a text file do to the script, and the smaller steps
// of the line box and the list of lines sent.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "frontend/run_options.h"
#include "platform/platform.h"
#include "window/window.h"

namespace tallsay {
namespace {

// The bytes looked at to tell a text from other files.
constexpr std::size_t kSniffBytes = 4096;

// The bytes of each script line that count_script keeps to look at.
constexpr std::size_t kKeptLineBytes = 64;

bool is_folder(const char* path) {
  std::FILE* file = open_file(path, "rb");
  if (file != nullptr) {
    std::fclose(file);
    return false;
  }
  return errno == EISDIR;
}

bool starts_with(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// Reads up to `size` bytes from the start of `input` into `buffer`, as the
// line reader reads (past stdio), and returns the count.
std::size_t read_start(std::FILE* input, unsigned char* buffer, std::size_t size) {
  std::size_t used = 0;
  while (used < size) {
    const long got = read_some(input, buffer + used, size - used);
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  return used;
}

// What the start of the text tells before anything is written: kConverted
// when it has a first line to convert. Leaves `input` at its start.
ConvertOutcome look_at_text(std::FILE* input, TextReader& reader) {
  unsigned char start[kSniffBytes];
  const std::size_t read = read_start(input, start, sizeof start);
  const std::string_view bytes(reinterpret_cast<const char*>(start), read);
  const bool utf16 = starts_with(bytes, "\xFF\xFE") || starts_with(bytes, "\xFE\xFF");
  const bool marked = utf16 || starts_with(bytes, "\xEF\xBB\xBF");
  ConvertOutcome outcome = ConvertOutcome::kConverted;
  if (read == 0 || (marked && read == (utf16 ? 2u : 3u))) {
    outcome = ConvertOutcome::kEmptyText;
  } else if (!utf16 && bytes.find('\0') != std::string_view::npos) {
    outcome = ConvertOutcome::kNotText;
  } else {
    std::fseek(input, 0, SEEK_SET);
    start_reading(reader, input);
    char line[kLineBufferSize];
    if (read_text_line(line, reader) == 0 && !reader.failed) {
      outcome = ConvertOutcome::kFirstLineEmpty;
    }
  }
  std::fseek(input, 0, SEEK_SET);
  return outcome;
}

// Converts the text on `input` into the script, once it is known to hold a
// first line.
ConvertOutcome write_conversion(std::FILE* input, const char* script_path,
                                const WindowSettings& settings, ScriptWork& work,
                                std::FILE* warnings) {
  if (!open_script(work.script, script_path)) {
    return is_folder(script_path) ? ConvertOutcome::kFolder : ConvertOutcome::kOpenFailed;
  }
  const RunOptions options{block_options(settings)};
  start_reading(work.reader, input);
  const bool written = convert_lines(work.reader, work.script, options, warnings);
  if (!close_script(work.script) || !written) return ConvertOutcome::kWriteFailed;
  return work.reader.failed ? ConvertOutcome::kReadFailed : ConvertOutcome::kConverted;
}

// Counts one line of a script read back: `kept` its first bytes, `length`
// its length without the LF. `comment_before` tells whether the line before
// was a comment; a comment right after a comment is a block's comment
// after its warning.
void count_line(ScriptCount& count, std::string_view kept, std::int64_t length, bool ended,
                bool& comment_before) {
  measure_line(count.measure, kept, length, ended);
  const bool comment = starts_with(kept, kCommentPrefix.substr(0, 2));
  if (comment && comment_before) ++count.over_limit;
  comment_before = comment;
}

}  // namespace

const char* file_name_of(const char* path) {
  const char* name = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/' || *at == ':') name = at + 1;
  }
  return name;
}

LineOutcome send_line(std::string_view text, const WindowSettings& settings, ScriptWork& work,
                      std::FILE* warnings, std::int32_t& width) {
  width = 0;
  if (text.empty()) return LineOutcome::kEmpty;
  if (text.size() > static_cast<std::size_t>(kMaxTextBytes)) return LineOutcome::kTooLong;
  if (text.find_first_of(std::string_view("\n\r\x1A\0", 4)) != std::string_view::npos) {
    return LineOutcome::kLineBreak;
  }
  const BlockOptions options = block_options(settings);
  lay_out_banner(text, work.banner, options.utf8);
  width = work.banner.width;
  if (settings.script_path[0] == '\0') return LineOutcome::kNoScript;
  if (!open_script(work.script, settings.script_path)) {
    return is_folder(settings.script_path) ? LineOutcome::kFolder : LineOutcome::kOpenFailed;
  }
  const bool written = write_block(work.script, text, work.banner, options, warnings);
  if (!close_script(work.script) || !written) return LineOutcome::kWriteFailed;
  return LineOutcome::kWritten;
}

bool count_script(const char* path, ScriptCount& count) {
  count = ScriptCount{0, 0, start_measure()};
  std::FILE* script = open_file(path, "rb");
  if (script == nullptr) return false;
  char chunk[4096];
  char kept[kKeptLineBytes];
  std::size_t kept_length = 0;
  std::int64_t length = 0;
  bool comment_before = false;
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, script)) > 0) {
    for (std::size_t at = 0; at < got; ++at) {
      if (chunk[at] != '\n') {
        if (kept_length < sizeof kept) kept[kept_length++] = chunk[at];
        ++length;
        continue;
      }
      count_line(count, std::string_view(kept, kept_length), length, true, comment_before);
      kept_length = 0;
      length = 0;
    }
  }
  if (length > 0) {
    count_line(count, std::string_view(kept, kept_length), length, false, comment_before);
  }
  const bool read = std::ferror(script) == 0;
  std::fclose(script);
  count.banners = count.measure.say_lines / kRowCount;
  return read;
}

ConvertOutcome convert_text_file(const char* text_path, const char* script_path,
                                 const WindowSettings& settings, ScriptWork& work,
                                 std::FILE* warnings, ScriptCount& count) {
  count = ScriptCount{0, 0, start_measure()};
  std::FILE* input = open_file(text_path, "rb");
  if (input == nullptr) return ConvertOutcome::kInputOpenFailed;
  ConvertOutcome outcome = ConvertOutcome::kSameFile;
  if (!is_same_file(input, script_path)) {
    outcome = look_at_text(input, work.reader);
    if (outcome == ConvertOutcome::kConverted) {
      outcome = write_conversion(input, script_path, settings, work, warnings);
    }
  }
  // Closing the text and reading the script back must not change the
  // reason of a failure.
  const int error = errno;
  std::fclose(input);
  if (outcome == ConvertOutcome::kConverted || outcome == ConvertOutcome::kReadFailed) {
    count_script(script_path, count);
  }
  errno = error;
  return outcome;
}

TextLook look_at_text_file(const char* text_path, ScriptWork& work) {
  TextLook look{ConvertOutcome::kInputOpenFailed, 0, 0, 0};
  std::FILE* input = open_file(text_path, "rb");
  if (input == nullptr) return look;
  look.outcome = look_at_text(input, work.reader);
  if (look.outcome == ConvertOutcome::kConverted) {
    start_reading(work.reader, input);
    // The pieces of the line being read so far.
    for (std::int64_t pieces = 0; read_text_line(work.lines[0], work.reader) != 0;) {
      ++look.banners;
      look.lines += pieces == 0 ? 1 : 0;
      look.cut_lines += pieces == 1 ? 1 : 0;
      pieces = work.reader.line_goes_on ? pieces + 1 : 0;
    }
    if (work.reader.failed) look.outcome = ConvertOutcome::kReadFailed;
  }
  const int error = errno;
  std::fclose(input);
  errno = error;
  return look;
}

ChainResult write_text_chain(const char* text_path, const char* first_path,
                             const WindowSettings& settings, std::string_view key, ScriptWork& work,
                             std::FILE* warnings) {
  const char* name = file_name_of(first_path);
  const RunOptions options{block_options(settings)};
  return write_chain(text_path,
                     std::string_view(first_path, static_cast<std::size_t>(name - first_path)),
                     name, key, options, work, warnings);
}

ChainClash find_chain_clash(const char* first_path, std::int64_t lines) {
  ChainClash clash{0, "", ExistingFile{Existing::kNothing, -1}};
  const char* first = file_name_of(first_path);
  const int folder = static_cast<int>(first - first_path);
  char name[kMaxScriptNameBytes + 1];
  char path[kMaxPathBytes];
  for (int index = 1; index < lines && chain_script_name(first, index, name); ++index) {
    const int length = std::snprintf(path, sizeof path, "%.*s%s", folder, first_path, name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) break;
    const ExistingFile file = check_existing(path);
    if (file.kind != Existing::kOther || file.size < 0) continue;
    if (clash.count++ == 0) {
      std::memcpy(clash.first, path, static_cast<std::size_t>(length) + 1);
      clash.file = file;
    }
  }
  return clash;
}

bool script_name_for_text(const char* text_path, char (&name)[kMaxPathBytes]) {
  const std::string_view text_name = file_name_of(text_path);
  const std::size_t dot = text_name.rfind('.');
  const std::string_view stem = dot == std::string_view::npos || dot == 0
                                    ? text_name
                                    : std::string_view(text_name.data(), dot);
  if (stem.size() + 5 > kMaxPathBytes) return false;
  std::memcpy(name, stem.data(), stem.size());
  std::memcpy(name + stem.size(), ".cfg", 5);
  return true;
}

int recall_step(int cursor, int count, int step) {
  return std::clamp(cursor + step, 0, std::max(count, 0));
}

ListView list_after_send(int count, int kept, int top, int selected, bool from_list) {
  const int after = std::min(count + 1, kept);
  if (!from_list) return ListView{-1, after - 1};
  // The oldest line goes when the list is full: the others move up one.
  const int dropped = count + 1 > kept ? 1 : 0;
  if (selected - dropped < 0) return ListView{std::max(top - dropped, 0), after - 1};
  return ListView{std::max(top - dropped, 0), selected - dropped};
}

LimitEntry read_limit_entry(const char* text, std::int32_t& limit) {
  std::int64_t value = 0;
  for (const char* at = text; *at != '\0'; ++at) {
    if (*at < '0' || *at > '9') return LimitEntry::kNotDigits;
    value = 10 * value + (*at - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return LimitEntry::kTooLarge;
  }
  limit = static_cast<std::int32_t>(value);
  return LimitEntry::kTaken;
}

}  // namespace tallsay
