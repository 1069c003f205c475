// The page's way into the tool: the batch run's conversion and the preview
// on byte strings in the module's memory, and the blocks of single text
// lines, laid out for the page to draw.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "banner/banner.h"
#include "chain/chain.h"
#include "console/console.h"
#include "frontend/run_options.h"
#include "preview/preview.h"
#include "script/script.h"
#include "web/zip.h"

// Bytes handed back to the page, which copies them out and frees `bytes`.
struct Output {
  char* bytes;
  std::size_t size;
};

namespace {

// A stream that reads the `size` bytes at `bytes`. A memory stream needs a
// byte at least, so nothing is read as the byte `stand_in`, which the caller
// picks to give what nothing gives.
std::FILE* open_bytes(const char* bytes, std::size_t size, const char* stand_in) {
  return size > 0 ? fmemopen(const_cast<char*>(bytes), size, "rb")
                  : fmemopen(const_cast<char*>(stand_in), 1, "rb");
}

// A line that is not the first of its text is read after this one, so that
// it is not at the start of the input, where a byte-order mark is skipped.
constexpr std::string_view kLineBefore = "-\n";

// The records of tallsay_lines, written to one memory stream: numbers as
// four bytes, least significant first, and byte strings led by their size.
struct Records {
  std::FILE* out;

  void number(std::uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    std::fwrite(bytes, 1, sizeof bytes, out);
  }

  void bytes(const char* data, std::size_t size) {
    number(static_cast<std::uint32_t>(size));
    std::fwrite(data, 1, size, out);
  }
};

// The pixel columns of `banner`, one byte per display column with bit p set
// when pixel row p (0 the top) is lit; cell row r holds pixel rows 2r and
// 2r + 1. Control bytes in the rows take no column.
void write_columns(Records& records, const tallsay::Banner& banner) {
  static unsigned char columns[tallsay::kRowBytes];
  const auto width = static_cast<std::size_t>(banner.width);
  std::memset(columns, 0, width);
  for (int r = 0; r < tallsay::kRowCount; ++r) {
    std::size_t column = 0;
    for (int i = 0; i < banner.row_length; ++i) {
      const int pixels = tallsay::cell_pixels(banner.rows[r][i]);
      if (pixels >= 0) columns[column++] |= static_cast<unsigned char>(pixels << (2 * r));
    }
  }
  records.bytes(reinterpret_cast<const char*>(columns), width);
}

// The parts that reading and writing one line needs: too large for the stack.
struct LineWork {
  tallsay::TextReader reader;
  tallsay::Banner banner;
  tallsay::ScriptFile script;
  char text[tallsay::kLineBufferSize];
};

// Lays out the block of `text` and writes its record, with its script and
// pixel columns while `drawn` is above 0, which it counts down. See
// tallsay_lines.
void write_block_record(Records& records, std::string_view text, const tallsay::RunOptions& options,
                        std::uint32_t& drawn, LineWork& work) {
  tallsay::lay_out_banner(text, work.banner, options.utf8);
  char* warning = nullptr;
  std::size_t warning_size = 0;
  std::FILE* console = open_memstream(&warning, &warning_size);
  char* script = nullptr;
  std::size_t script_size = 0;
  tallsay::start_script(work.script, open_memstream(&script, &script_size));
  tallsay::write_block(work.script, text, work.banner, options, console);
  tallsay::close_script(work.script);
  std::fclose(console);
  records.number(static_cast<std::uint32_t>(work.banner.width));
  records.bytes(text.data(), text.size());
  // The console's warning is a line; the page shows it without its end.
  records.bytes(warning, warning_size > 0 ? warning_size - 1 : 0);
  if (drawn > 0) {
    --drawn;
    records.bytes(script, script_size);
    write_columns(records, work.banner);
  }
  std::free(warning);
  std::free(script);
}

// Reads the one text line `line` (its line feed, if any, included) as the
// batch run reads it within a text, and writes its record: whether the run
// ends in it, the number of blocks, and each block. See tallsay_lines.
void write_line_record(Records& records, std::string_view line, bool first,
                       const tallsay::RunOptions& options, std::uint32_t& drawn, LineWork& work) {
  char* input = static_cast<char*>(std::malloc(kLineBefore.size() + line.size()));
  const std::size_t before = first ? 0 : kLineBefore.size();
  std::memcpy(input, kLineBefore.data(), before);
  std::memcpy(input + before, line.data(), line.size());
  std::FILE* stream = open_bytes(input, before + line.size(), "\n");
  tallsay::start_reading(work.reader, stream);
  if (!first) tallsay::read_text_line(work.text, work.reader);
  char* blocks = nullptr;
  std::size_t blocks_size = 0;
  Records block_records{open_memstream(&blocks, &blocks_size)};
  std::uint32_t count = 0;
  for (std::size_t length; (length = tallsay::read_text_line(work.text, work.reader)) != 0;) {
    write_block_record(block_records, std::string_view(work.text, length), options, drawn, work);
    ++count;
  }
  std::fclose(block_records.out);
  // The run goes on after the line only when its reading stopped at the end.
  records.number(work.reader.at_end ? 0 : 1);
  records.number(count);
  std::fwrite(blocks, 1, blocks_size, records.out);
  std::free(blocks);
  std::fclose(stream);
  std::free(input);
}

// The options of a run: the width limit `line_len`, and `flags`: 1 hides the
// name (--no-name), 2 reads the text as UTF-8 (--utf8), 4 says to the team
// (--team).
tallsay::RunOptions options_of(std::int32_t line_len, int flags) {
  tallsay::RunOptions options;
  options.max_line_len = line_len;
  options.hide_name = (flags & 1) != 0;
  options.utf8 = (flags & 2) != 0;
  options.team = (flags & 4) != 0;
  return options;
}

}  // namespace

extern "C" {

// Converts the `size` bytes of `text` as a batch run over a file of those
// bytes does, with the options of options_of: `script` gets the script file's bytes and `warnings`
// what the run writes to its console.
void tallsay_convert(const char* text, std::size_t size, std::int32_t line_len, int flags,
                     Output* script, Output* warnings) {
  std::FILE* input = open_bytes(text, size, "\n");  // a lone line end converts to nothing
  std::FILE* console = open_memstream(&warnings->bytes, &warnings->size);
  // Too large for the stack; left uninitialised, as they would be there.
  const std::unique_ptr<tallsay::ScriptFile> file(new tallsay::ScriptFile);
  const std::unique_ptr<tallsay::TextReader> reader(new tallsay::TextReader);
  const tallsay::RunOptions options = options_of(line_len, flags);
  tallsay::start_script(*file, open_memstream(&script->bytes, &script->size));
  tallsay::start_reading(*reader, input);
  tallsay::convert_lines(*reader, *file, options, console);
  tallsay::close_script(*file);
  std::fclose(console);
  std::fclose(input);
}

// Lays out the text lines in the `size` bytes of `text`, each the bytes up
// to and including a line feed, or the bytes after the last one when there
// are any. Each is read on its own, as the batch run reads it within a text:
// the first as the start of the text when `starts_text` is not 0, every
// other after a line. Lines are independent, so the blocks of a text are
// those of its lines up to the first line in which the run ends. `out` gets,
// per line: 1 when the run ends in it and 0 when it goes on, the number of
// blocks, and for each block its width in columns, its text, its warning
// (empty when it has none; without the line end) and, for the first `drawn`
// blocks of all, the script of the interactive run after that block (the
// header and the block) and its pixel columns (width bytes, bit p for pixel
// row p, 0 the top). Numbers take four bytes, least significant first; byte
// strings are led by their size.
void tallsay_lines(const char* text, std::size_t size, int starts_text, std::int32_t line_len,
                   int flags, std::uint32_t drawn, Output* out) {
  const tallsay::RunOptions options = options_of(line_len, flags);
  const std::unique_ptr<LineWork> work(new LineWork);
  Records records{open_memstream(&out->bytes, &out->size)};
  for (std::size_t start = 0; start < size;) {
    const void* feed = std::memchr(text + start, '\n', size - start);
    const std::size_t end =
        feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - text) + 1 : size;
    write_line_record(records, std::string_view(text + start, end - start),
                      start == 0 && starts_text != 0, options, drawn, *work);
    start = end;
  }
  std::fclose(records.out);
}

// Draws the `size` bytes of `script` as tallsay-preview does: `shown` gets
// its UTF-8 text, empty when the bytes are not a script.
void tallsay_preview(const char* script, std::size_t size, Output* shown) {
  std::FILE* input = open_bytes(script, size, "");  // a NUL is no header either
  std::FILE* output = open_memstream(&shown->bytes, &shown->size);
  tallsay::preview_script(input, output);
  std::fclose(output);
  std::fclose(input);
}

// Writes into `advice` what a player should know of the console's limits
// that the `size` bytes of `script` pass: the advice of each limit passed,
// once each, apart by "; "; empty when it passes none.
void tallsay_advice(const char* script, std::size_t size, Output* advice) {
  const tallsay::ScriptMeasure measure = tallsay::measure_script(std::string_view(script, size));
  char text[1024];
  advice->size = tallsay::describe_advice(measure, text, sizeof text);
  advice->bytes = static_cast<char*>(std::malloc(advice->size + 1));
  std::memcpy(advice->bytes, text, advice->size + 1);
}

// The value of the console's limit `limit`, counted in the order of
// tallsay::Limit; 0 for a number that names none.
std::int32_t tallsay_limit(int limit) {
  if (limit < 0 || limit >= tallsay::kLimitCount) return 0;
  return tallsay::console_limit(static_cast<tallsay::Limit>(limit)).value;
}

// The most bytes of text one block holds; a longer line is read in pieces.
std::int32_t tallsay_text_bytes() {
  return tallsay::kMaxTextBytes;
}

// The name the console's widths are counted with, NUL-terminated.
const char* tallsay_player_name() {
  return tallsay::kPlayerName.data();
}

// Makes the chain of the `size` bytes of `text`, read as the batch run reads
// a file of those bytes up to its first empty line: one script per line,
// the first named `first`, each binding the key `key` to the next. `out`
// gets a status (0 made; 1 `first` is no script name the console can run;
// 2 `key` names no key; 3 a script's name would be too long), the number of
// scripts, and for each its name, its bytes and the advice on the limits of
// the console it passes on its own (empty when none). Numbers and strings
// are written as tallsay_lines writes them.
void tallsay_chain(const char* text, std::size_t size, const char* first, const char* key,
                   std::int32_t line_len, int flags, Output* out) {
  const tallsay::RunOptions options = options_of(line_len, flags);
  const std::unique_ptr<tallsay::ChainWork> work(new tallsay::ChainWork);
  char* scripts = nullptr;
  std::size_t scripts_size = 0;
  Records records{open_memstream(&scripts, &scripts_size)};
  char name[tallsay::kMaxScriptNameBytes + 1];
  char next[tallsay::kMaxScriptNameBytes + 1];
  char checked[tallsay::kMaxScriptNameBytes + 1];
  std::uint32_t status = 0;
  std::uint32_t count = 0;
  if (!tallsay::check_script_name(first, checked)) {
    status = 1;
  } else if (!tallsay::is_key_name(key)) {
    status = 2;
  } else {
    std::FILE* input = open_bytes(text, size, "\n");
    tallsay::start_reading(work->reader, input);
    std::size_t length = tallsay::read_text_line(work->lines[0], work->reader);
    for (int index = 0; length != 0 && status == 0; ++index) {
      const std::string_view line(work->lines[index % 2], length);
      length = tallsay::read_text_line(work->lines[(index + 1) % 2], work->reader);
      if (!tallsay::chain_script_name(checked, index, name) ||
          !tallsay::chain_script_name(checked, length != 0 ? index + 1 : 0, next)) {
        status = 3;
        break;
      }
      tallsay::lay_out_banner(line, work->banner, options.utf8);
      const std::string_view script =
          tallsay::chain_script(work->script, line, work->banner, options, key, next);
      char advice[1024];
      const std::size_t advice_size =
          tallsay::describe_advice(tallsay::measure_script(script), advice, sizeof advice);
      records.bytes(name, std::strlen(name));
      records.bytes(script.data(), script.size());
      records.bytes(advice, advice_size);
      ++count;
    }
    std::fclose(input);
  }
  std::fclose(records.out);
  Records header{open_memstream(&out->bytes, &out->size)};
  header.number(status);
  header.number(status == 0 ? count : 0);
  if (status == 0) std::fwrite(scripts, 1, scripts_size, header.out);
  std::fclose(header.out);
  std::free(scripts);
}

// How the character `code` is drawn, with --utf8 when `utf8` is not 0: 0
// with a glyph of its own, or as a space or control character is drawn; 1
// as blank columns (DEL, whose glyph is empty, and without --utf8 every
// character beyond ASCII, each of whose bytes leaves a blank column); 2
// with the font's glyph of U+FFFD, as a character the font lacks is drawn.
int tallsay_drawn_as(std::uint32_t code, int utf8) {
  if (code == 0x7F || (code >= 0x80 && utf8 == 0)) return 1;
  return code < 0x80 || tallsay::has_letter(code) ? 0 : 2;
}

// Whether the NUL-terminated `key` names a key the console binds: 1 or 0.
int tallsay_is_key_name(const char* key) {
  return tallsay::is_key_name(key) ? 1 : 0;
}

// Writes into `zip` a zip archive of the files in the `size` bytes of
// `files`: their number, then for each its name and its bytes, written as
// tallsay_lines writes them; the files carry the local time given. Empty
// when they do not fit a zip.
void tallsay_zip(const char* files, std::size_t size, int year, int month, int day, int hour,
                 int minute, int second, Output* zip) {
  // Reads the next number at `at`; false when the bytes end first.
  const auto number = [&](std::size_t& at, std::uint32_t& value) {
    if (size - at < 4) return false;
    value = 0;
    for (std::size_t i = 4; i-- > 0;)
      value = value << 8 | static_cast<unsigned char>(files[at + i]);
    at += 4;
    return true;
  };
  std::size_t at = 0;
  std::uint32_t count = 0;
  bool whole = number(at, count) && count <= size / 8;
  std::unique_ptr<std::string_view[]> names(new std::string_view[whole ? count + 1 : 1]);
  std::unique_ptr<std::string_view[]> contents(new std::string_view[whole ? count + 1 : 1]);
  for (std::uint32_t i = 0; whole && i < count; ++i) {
    for (std::string_view* part : {&names[i], &contents[i]}) {
      std::uint32_t length = 0;
      whole = whole && number(at, length) && length <= size - at;
      if (whole) *part = std::string_view(files + at, length);
      at += whole ? length : 0;
    }
  }
  std::FILE* out = open_memstream(&zip->bytes, &zip->size);
  const bool written =
      whole && tallsay::write_zip(out, names.get(), contents.get(), count,
                                  tallsay::ZipTime{year, month, day, hour, minute, second});
  std::fclose(out);
  if (!written) zip->size = 0;
}

}  // extern "C"
