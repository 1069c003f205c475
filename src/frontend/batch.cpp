// The batch run: every line of an input file into one script.
#include "banner/banner.h"
#include "frontend/messages.h"
#include "frontend/platform.h"
#include "frontend/run_options.h"
#include "script/script.h"

namespace tallsay {
namespace {

// Converts the lines of `reader` into `script` up to the first empty line,
// stopping early when a write fails. Returns false on a write failure.
bool convert_lines(TextReader& reader, ScriptFile& script, const RunOptions& options) {
  char line[kLineBufferSize];
  Banner banner;
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    const std::string_view text(line, length);
    lay_out_banner(text, banner);
    if (!write_block(script, text, banner, options.max_line_len, options.hide_name, stderr)) {
      return false;
    }
  }
  return true;
}

int convert_file(std::FILE* input, const RunOptions& options) {
  // The script is opened only after these checks, so a bad input leaves an
  // existing script as it was.
  if (is_directory(input)) return report_failure(Failure::kInputNotFound);
  if (is_same_file(input, options.out_path)) return report_failure(Failure::kSameFile);
  ScriptFile script;
  if (!open_script(script, options.out_path)) return report_failure(Failure::kOutputOpen);
  TextReader reader;
  start_reading(reader, input);
  const bool written = convert_lines(reader, script, options);
  // The blocks converted before a read error are kept: close first, then report.
  if (!close_script(script) || !written) return report_failure(Failure::kOutputWrite);
  if (reader.failed) return report_failure(Failure::kInputRead);
  return 0;
}

}  // namespace

int run_batch(const RunOptions& options) {
  std::FILE* input = std::fopen(options.in_path, "rb");
  if (input == nullptr) return report_failure(Failure::kInputNotFound);
  const int status = convert_file(input, options);
  std::fclose(input);
  return status;
}

}  // namespace tallsay
