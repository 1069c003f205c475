// Drawing the rows of a script, and the run of tallsay-preview.
#include "preview/preview.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "banner/banner.h"
#include "script/script.h"

namespace tallsay {
namespace {

// The longest line that a script holds: a say line with a full row, a CR of
// --no-name, and its line end.
constexpr std::size_t kLineCapacity = 8192;
static_assert(kLineCapacity > kSayPrefix.size() + 1 + kRowBytes + kSayEnd.size() + 2,
              "a say line fits");

// Reads the next line of `in` into `line` without its LF or CR LF; bytes
// beyond the capacity are dropped. Returns false at the end of input.
bool read_script_line(std::FILE* in, char (&line)[kLineCapacity], std::string_view& text) {
  std::size_t length = 0;
  int c;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (length < kLineCapacity) line[length++] = static_cast<char>(c);
  }
  if (c == EOF && length == 0) return false;
  if (c == '\n' && length > 0 && line[length - 1] == '\r') --length;
  text = std::string_view(line, length);
  return true;
}

bool is_say_line(std::string_view line) {
  return line.size() >= kSayPrefix.size() + kSayEnd.size() &&
         line.substr(0, kSayPrefix.size()) == kSayPrefix &&
         line.substr(line.size() - kSayEnd.size()) == kSayEnd;
}

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
  std::string_view line;
  if (!read_script_line(in, buffer, line) || line != kScriptHeader) {
    return std::ferror(in) ? PreviewResult::kReadFailed : PreviewResult::kNotAScript;
  }
  static_assert(sizeof(RenderedRow) > 3 * kLineCapacity, "a rendered row fits");
  RenderedRow shown;
  bool written = true;
  bool in_block = false;
  while (read_script_line(in, buffer, line)) {
    const bool say = is_say_line(line);
    if (say) {
      const std::size_t length = render_row(
          line.substr(kSayPrefix.size(), line.size() - kSayPrefix.size() - kSayEnd.size()), shown);
      written = write_text(out, shown, length) && written;
    } else if (in_block) {
      written = write_text(out, "\n", 1) && written;
    }
    in_block = say;
  }
  if (std::ferror(in)) return PreviewResult::kReadFailed;
  if (in_block) written = write_text(out, "\n", 1) && written;
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
