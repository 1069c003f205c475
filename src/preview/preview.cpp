// Drawing the rows of a script, and the run of tallsay-preview.
#include "preview/preview.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "banner/banner.h"
#include "console/console.h"
#include "script/script.h"

namespace tallsay {
namespace {

// The longest line that a script holds: a say line with a full row, a CR of
// --no-name, and its line end.
constexpr std::size_t kLineCapacity = 8192;
static_assert(kLineCapacity > kSayTeamPrefix.size() + 1 + kRowBytes + kSayEnd.size() + 2,
              "a say line fits");

// One line of a script as read: its first bytes, kept in a buffer.
struct ScriptLine {
  std::string_view kept;  // the bytes kept, without the LF
  std::int64_t length;    // the line's true length without the LF
  bool ended;             // an LF ended it
};

// Reads the next line of `in` into `buffer`; bytes beyond its capacity are
// counted and dropped. Returns false at the end of input.
bool read_script_line(std::FILE* in, char (&buffer)[kLineCapacity], ScriptLine& line) {
  std::size_t kept = 0;
  std::int64_t length = 0;
  int c;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (kept < kLineCapacity) buffer[kept++] = static_cast<char>(c);
    ++length;
  }
  if (c == EOF && length == 0) return false;
  line = {std::string_view(buffer, kept), length, c == '\n'};
  return true;
}

// The line as the console reads it: without the CR of a CR LF line end.
std::string_view command_of(const ScriptLine& line) {
  std::string_view text = line.kept;
  if (line.ended && !text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

// The row that a say or say_team line of the tool says, between its quotes;
// false for any other line.
bool said_row(std::string_view line, std::string_view& row) {
  const std::size_t prefix = say_prefix_length(line);
  if (prefix == 0 || line.size() < prefix + kSayEnd.size() ||
      line.substr(line.size() - kSayEnd.size()) != kSayEnd) {
    return false;
  }
  row = line.substr(prefix, line.size() - prefix - kSayEnd.size());
  return true;
}

// Room for a note on every limit.
constexpr std::size_t kNotesBytes = 2048;

// Each cell becomes at most three bytes of UTF-8, and the row ends in LF.
using RenderedRow = char[3 * kLineCapacity + 1];

// Writes the on-screen form of `row` into `shown` and returns its length.
std::size_t render_row(std::string_view row, RenderedRow& shown) {
  std::size_t length = 0;
  const auto put = [&](std::string_view text) {
    std::memcpy(shown + length, text.data(), text.size());
    length += text.size();
  };
  for (const char cell : row) {
    if (cell == kCellBlank) {
      put(" ");
    } else if (cell == kCellUpper) {
      put("\u2580");  // upper half block
    } else if (cell == kCellLower) {
      put("\u2584");  // lower half block
    } else if (cell == kCellBoth) {
      put("\u2588");  // full block
    } else if (static_cast<unsigned char>(cell) >= 0x20) {
      put("?");
    }
  }
  put("\n");
  return length;
}

const char kUsage[] =
    "Usage: tallsay-preview [SCRIPT]\n"
    "Shows the say rows of a script made by tallsay as they will look in the game.\n"
    "Reads SCRIPT, or standard input when SCRIPT is absent or -.\n"
    "After the drawings, a line starting \"note: \" names each limit of the game's\n"
    "console that the script passes (its size, a line's length, chat lines at\n"
    "once, the width of a row on screen); these are notes, and the status stays 0.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

// Writes "tallsay-preview: " and the message, with the UTF-8 `detail` and
// the reason, as one line of text to console.err; returns the status 1.
int fail(const Console& console, const char* message, const char* detail = "",
         const char* reason = nullptr) {
  char line[3 * 32768 + 256];
  std::snprintf(line, sizeof line, "tallsay-preview: %s%s%s%s\n", message, detail,
                reason ? ": " : "", reason ? reason : "");
  write_text(console.err, line, std::strlen(line));
  return 1;
}

bool is_option(const char* argument, const char* name) {
  return std::strcmp(argument, name) == 0;
}

}  // namespace

PreviewResult preview_script(std::FILE* in, std::FILE* out) {
  char buffer[kLineCapacity];
  ScriptLine line;
  if (!read_script_line(in, buffer, line) || command_of(line) != kScriptHeader) {
    return std::ferror(in) ? PreviewResult::kReadFailed : PreviewResult::kNotAScript;
  }
  ScriptMeasure measure = start_measure();
  measure_line(measure, line.kept, line.length, line.ended);
  static_assert(sizeof(RenderedRow) > 3 * kLineCapacity, "a rendered row fits");
  RenderedRow shown;
  bool written = true;
  bool in_block = false;
  while (read_script_line(in, buffer, line)) {
    measure_line(measure, line.kept, line.length, line.ended);
    const std::string_view command = command_of(line);
    std::string_view row;
    const bool say = said_row(command, row);
    if (say) {
      const std::size_t length = render_row(row, shown);
      written = write_text(out, shown, length) && written;
    } else if (in_block) {
      written = write_text(out, "\n", 1) && written;
    }
    in_block = say;
  }
  if (std::ferror(in)) return PreviewResult::kReadFailed;
  if (in_block) written = write_text(out, "\n", 1) && written;
  char notes[kNotesBytes];
  const std::size_t notes_length = describe_notes(measure, notes, sizeof notes);
  if (notes_length > 0) written = write_text(out, notes, notes_length) && written;
  return written ? PreviewResult::kShown : PreviewResult::kWriteFailed;
}

int run_preview(int argc, const char* const* argv, std::FILE* input, const Console& console) {
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (is_option(argument, "-h") || is_option(argument, "--help")) {
      std::fputs(kUsage, console.out);
      return 0;
    }
    if (is_option(argument, "--version")) {
      std::fputs("tallsay-preview " TALLSAY_VERSION "\n", console.out);
      return 0;
    }
    if (argument[0] == '-' && argument[1] != '\0') {
      return fail(console, "unknown option ", argument, "try tallsay-preview --help");
    }
    if (path != nullptr) {
      return fail(console, "more than one script named", "", "try tallsay-preview --help");
    }
    path = argument;
  }
  const bool from_input = path == nullptr || is_option(path, "-");
  std::FILE* in = from_input ? input : open_file(path, "rb");
  if (in == nullptr) return fail(console, "cannot open ", path, std::strerror(errno));
  const PreviewResult result = preview_script(in, console.out);
  const int error = errno;
  if (!from_input) std::fclose(in);
  if (result == PreviewResult::kReadFailed) {
    return fail(console, "cannot read ", from_input ? "standard input" : path,
                std::strerror(error));
  }
  if (result == PreviewResult::kNotAScript) {
    return fail(console, "not a tallsay script: the first line is not its header");
  }
  if (result == PreviewResult::kWriteFailed) {
    return fail(console, "cannot write the preview", "", std::strerror(error));
  }
  return 0;
}

int close_preview(const Console& console, int status) {
  const bool written = std::fflush(console.out) == 0 && std::ferror(console.out) == 0;
  const int error = errno;
  const bool closed = std::fclose(console.out) == 0;
  if (status != 0 || (written && closed)) return status;
  return fail(console, "cannot write the preview", "", std::strerror(written ? errno : error));
}

}  // namespace tallsay
