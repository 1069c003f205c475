// Drawing the rows of a script.
#include "preview/preview.h"

#include <cstring>

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

void render_row(std::string_view row, std::FILE* out) {
  for (const char cell : row) {
    if (cell == kCellBlank) {
      std::fputc(' ', out);
    } else if (cell == kCellUpper) {
      std::fputs("\xE2\x96\x80", out);  // U+2580 upper half block
    } else if (cell == kCellLower) {
      std::fputs("\xE2\x96\x84", out);  // U+2584 lower half block
    } else if (cell == kCellBoth) {
      std::fputs("\xE2\x96\x88", out);  // U+2588 full block
    } else if (static_cast<unsigned char>(cell) >= 0x20) {
      std::fputc('?', out);
    }
  }
  std::fputc('\n', out);
}

}  // namespace

PreviewResult preview_script(std::FILE* in, std::FILE* out) {
  char buffer[kLineCapacity];
  std::string_view line;
  if (!read_script_line(in, buffer, line) || line != kScriptHeader) {
    return PreviewResult::kNotAScript;
  }
  bool in_block = false;
  while (read_script_line(in, buffer, line)) {
    const bool say = is_say_line(line);
    if (say) {
      render_row(line.substr(kSayPrefix.size(), line.size() - kSayPrefix.size() - kSayEnd.size()),
                 out);
    } else if (in_block) {
      std::fputc('\n', out);
    }
    in_block = say;
  }
  if (in_block) std::fputc('\n', out);
  return PreviewResult::kShown;
}

namespace {

int fail(const Console& console, const char* message, const char* detail = "") {
  std::fprintf(console.err, "tallsay-preview: %s%s\n", message, detail);
  return 1;
}

}  // namespace

int run_preview(int argc, const char* const* argv, std::FILE* input, const Console& console) {
  if (argc > 2) return fail(console, "usage: tallsay-preview [SCRIPT]");
  const bool from_input = argc < 2 || std::strcmp(argv[1], "-") == 0;
  std::FILE* in = from_input ? input : std::fopen(argv[1], "rb");
  if (in == nullptr) return fail(console, "cannot open ", argv[1]);
  const PreviewResult result = preview_script(in, console.out);
  if (!from_input) std::fclose(in);
  if (result == PreviewResult::kNotAScript) {
    return fail(console, "not a tallsay script: the first line is not its header");
  }
  return std::fflush(console.out) == 0 ? 0 : fail(console, "cannot write the preview");
}

}  // namespace tallsay
