// Fuzz target: arbitrary bytes through the reader, the layout and the block
// writer, checking what must hold for every input.
//
// The first input byte picks the options (hide_name, a width limit, utf8,
// team), the
// second how many bytes the reader asks for at a time (0: a whole block), so
// that a CR, a line end, a mark or a UTF-16 unit falls on the edge of a read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "banner/banner.h"
#include "console_model.h"
#include "frontend/run_options.h"
#include "script/script.h"

namespace {

using namespace tallsay;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

void put_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The bytes the reading rules apply to: the input without a UTF-8 mark, or
// its UTF-16 after a mark converted to UTF-8, one unit at a time.
std::string reference_bytes(std::string_view input) {
  if (input.substr(0, 3) == "\xEF\xBB\xBF") return std::string(input.substr(3));
  const bool little = input.substr(0, 2) == "\xFF\xFE";
  if (!little && input.substr(0, 2) != "\xFE\xFF") return std::string(input);
  std::vector<std::uint32_t> units;
  for (std::size_t i = 2; i + 1 < input.size(); i += 2) {
    const auto a = static_cast<unsigned char>(input[i]);
    const auto b = static_cast<unsigned char>(input[i + 1]);
    units.push_back(little ? (b << 8 | a) : (a << 8 | b));
  }
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t unit = units[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    const bool paired =
        high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
    if (paired) {
      put_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else {
      put_utf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
  }
  if (input.size() % 2 == 1) put_utf8(out, 0xFFFD);
  return out;
}

// The reading rules, one byte at a time, written apart from the reader.
std::vector<std::string> reference_lines(std::string_view input) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  const auto next = [&]() -> int {
    return at < input.size() ? static_cast<unsigned char>(input[at++]) : -1;
  };
  for (;;) {
    std::string read;
    while (read.size() < static_cast<std::size_t>(kMaxTextBytes)) {
      int c = next();
      if (c == '\r') c = next();
      if (c < 0 || c == 0x1A) break;
      read += static_cast<char>(c);
      if (c == '\n') break;
    }
    // After a full read, a line feed (or CR LF) next belongs to it.
    if (read.size() == static_cast<std::size_t>(kMaxTextBytes) && read.back() != '\n') {
      if (input.substr(at, 1) == "\n") {
        at += 1;
      } else if (input.substr(at, 2) == "\r\n") {
        at += 2;
      }
    }
    std::string text = read.substr(0, read.find('\0'));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.empty()) return lines;
    lines.push_back(text);
  }
}

bool is_cell(char c) {
  return c == kCellBlank || c == kCellUpper || c == kCellLower || c == kCellBoth;
}

void check_banner(std::string_view text, const Banner& banner) {
  int controls = 0;
  for (char c : text) controls += static_cast<unsigned char>(c) < 0x20;
  check(banner.row_length <= 6 * static_cast<int>(text.size()), "row length bound");
  check(banner.width == banner.row_length - controls, "width counts all but control bytes");
  for (const auto& row : banner.rows) {
    check(std::strlen(row) == static_cast<std::size_t>(banner.row_length), "rows of one length");
    for (int i = 0; i < banner.row_length; ++i) {
      const char c = row[i];
      check(is_cell(c) || (static_cast<unsigned char>(c) < 0x20 && text.find(c) != text.npos),
            "row holds cells and the text's control bytes");
    }
  }
}

// Checks the script's lines: all end in CR LF, a comment line holds printable
// ASCII only, and a say line holds between its quotes only cells, control
// bytes and the leading CR under hide_name. Then runs it through the console
// model: the console runs its says and nothing else, in every console.
void check_script(const std::string& script, std::size_t blocks, const BlockOptions& options) {
  check(script.rfind(std::string(kScriptHeader) + "\r\n\r\n", 0) == 0, "header first");
  check(script.find(';') == std::string::npos, "no ';' that would end a command");
  std::size_t say_lines = 0;
  for (std::size_t start = 0; start < script.size();) {
    // A text never holds a line feed, so the first CR LF ends the line.
    const std::size_t end = script.find("\r\n", start);
    check(end != std::string::npos, "every line ends in CR LF");
    const std::string_view line(script.data() + start, end - start);
    if (line.substr(0, 3) == "// ") {
      for (char c : line) check(c >= 0x20 && c <= 0x7E, "comment line in printable ASCII");
    }
    const std::string_view say = options.team ? kSayTeamPrefix : kSayPrefix;
    if (line.substr(0, say.size()) == say) {
      ++say_lines;
      check(line.back() == '"', "say line closes its quote");
      std::string_view inner = line.substr(say.size(), line.size() - say.size() - 1);
      if (options.hide_name) {
        check(!inner.empty() && inner[0] == '\r', "hidden name leads with CR");
        inner.remove_prefix(1);
      }
      for (char c : inner) {
        check(is_cell(c) || static_cast<unsigned char>(c) < 0x20, "say line bytes");
      }
    }
    start = end + 2;
  }
  check(say_lines == 4 * blocks, "four say lines per block");
  const std::string fault = tallsay::test::check_tool_script(script);
  if (!fault.empty()) std::fprintf(stderr, "%s\n", fault.c_str());
  check(fault.empty(), "only the say rows run, whole, and nothing else in any console");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  BlockOptions options;
  options.hide_name = data[0] & 1;
  options.max_line_len = (data[0] >> 1) & 0x1F;
  options.utf8 = data[0] & 0x40;
  options.team = data[0] & 0x80;
  const std::size_t read_size = data[1] == 0 ? kReadBlockBytes : data[1];
  const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);

  static TextReader reader;
  static ScriptFile script;
  static Banner banner;
  std::FILE* stream = std::tmpfile();
  char* written_bytes = nullptr;
  std::size_t written_size = 0;
  std::FILE* out = open_memstream(&written_bytes, &written_size);
  std::FILE* console = std::fopen("/dev/null", "w");
  std::fwrite(input.data(), 1, input.size(), stream);
  std::fflush(stream);
  std::rewind(stream);
  start_reading(reader, stream, read_size);

  const std::vector<std::string> expected = reference_lines(reference_bytes(input));
  start_script(script, out);
  char line[kLineBufferSize];
  std::size_t blocks = 0;
  for (std::size_t length; (length = read_text_line(line, reader)) != 0; ++blocks) {
    check(blocks < expected.size() && expected[blocks] == std::string(line, length),
          "reader follows the reading rules");
    check(line[length] == '\0', "line terminated");
    const std::string_view text(line, length);
    lay_out_banner(text, banner, options.utf8);
    check_banner(text, banner);
    check(write_block(script, text, banner, options, console), "block written");
  }
  check(blocks == expected.size() && !reader.failed, "every line read");
  check(close_script(script), "script closed");
  check_script(std::string(written_bytes, written_size), blocks, options);
  std::free(written_bytes);
  std::fclose(stream);
  std::fclose(console);
  return 0;
}
