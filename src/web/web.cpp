// The page's way into the tool: the batch run's conversion and the preview,
// on byte strings in the module's memory.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "frontend/run_options.h"
#include "preview/preview.h"
#include "script/script.h"

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

}  // namespace

extern "C" {

// Converts the `size` bytes of `text` as a batch run over a file of those
// bytes does, with the width limit `line_len` and, when `no_name` is not 0,
// the name hidden: `script` gets the script file's bytes and `warnings` what
// the run writes to its console.
void tallsay_convert(const char* text, std::size_t size, std::int32_t line_len, int no_name,
                     Output* script, Output* warnings) {
  std::FILE* input = open_bytes(text, size, "\n");  // a lone line end converts to nothing
  std::FILE* console = open_memstream(&warnings->bytes, &warnings->size);
  // Too large for the stack; left uninitialised, as they would be there.
  const std::unique_ptr<tallsay::ScriptFile> file(new tallsay::ScriptFile);
  const std::unique_ptr<tallsay::TextReader> reader(new tallsay::TextReader);
  tallsay::RunOptions options;
  options.max_line_len = line_len;
  options.hide_name = no_name != 0;
  tallsay::start_script(*file, open_memstream(&script->bytes, &script->size));
  tallsay::start_reading(*reader, input);
  tallsay::convert_lines(*reader, *file, options, console);
  tallsay::close_script(*file);
  std::fclose(console);
  std::fclose(input);
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

}  // extern "C"
