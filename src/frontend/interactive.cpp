// The interactive run: the script follows every line typed.
#include "banner/banner.h"
#include "frontend/messages.h"
#include "frontend/platform.h"
#include "frontend/run_options.h"
#include "script/script.h"

namespace tallsay {

int run_interactive(const RunOptions& options, std::FILE* input) {
  // Opening the script would empty the very file that is being read.
  if (is_same_file(input, options.out_path)) return report_failure(Failure::kSameFile);
  TextReader reader;
  start_reading(reader, input);
  char line[kLineBufferSize];
  Banner banner;
  ScriptFile script;
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    const std::string_view text(line, length);
    // Opened afresh for each line: the file is emptied and gets a new header.
    if (!open_script(script, options.out_path)) return report_failure(Failure::kOutputOpen);
    lay_out_banner(text, banner);
    const bool written =
        write_block(script, text, banner, options.max_line_len, options.hide_name, stderr);
    if (!close_script(script) || !written) return report_failure(Failure::kOutputWrite);
  }
  if (reader.failed) return report_failure(Failure::kInputRead);
  return 0;
}

}  // namespace tallsay
