// The two run modes and the run of the tool from its arguments to its exit
// status.
#include "banner/banner.h"
#include "frontend/messages.h"
#include "frontend/run_options.h"
#include "platform/platform.h"
#include "script/script.h"

namespace tallsay {
namespace {

int report_open_failure(const Console& console, const ScriptFile& script) {
  return report_failure(console, script.replacement.foreign        ? Failure::kForeignLink
                                 : script.replacement.named_stream ? Failure::kNamedStream
                                                                   : Failure::kOutputOpen);
}

int report_write_failure(const Console& console, const ScriptFile& script) {
  return report_failure(console,
                        script.replacement.held ? Failure::kOutputHeld : Failure::kOutputWrite);
}

int convert_file(std::FILE* input, const RunOptions& options, const Console& console) {
  // The script is opened only after this check, so that it cannot empty the
  // very file that is to be read.
  if (is_same_file(input, options.out_path)) return report_failure(console, Failure::kSameFile);
  ScriptFile script;
  if (!open_script(script, options.out_path)) return report_open_failure(console, script);
  TextReader reader;
  start_reading(reader, input);
  const bool written = convert_lines(reader, script, options, console.err);
  // The blocks converted before a read error are kept: close first, then report.
  if (!close_script(script) || !written) return report_write_failure(console, script);
  if (reader.failed) return report_failure(console, Failure::kInputRead);
  return 0;
}

}  // namespace

bool convert_lines(TextReader& reader, ScriptFile& script, const RunOptions& options,
                   std::FILE* warnings) {
  char line[kLineBufferSize];
  Banner banner;
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    const std::string_view text(line, length);
    lay_out_banner(text, banner, options.utf8);
    if (!write_block(script, text, banner, options, warnings)) {
      return false;
    }
  }
  return true;
}

int run_batch(const RunOptions& options, const Console& console) {
  std::FILE* input = open_file(options.in_path, "rb");
  if (input == nullptr) return report_failure(console, Failure::kInputNotFound);
  const int status = convert_file(input, options, console);
  std::fclose(input);
  return status;
}

int run_interactive(const RunOptions& options, std::FILE* input, const Console& console) {
  // Opening the script would empty the very file that is being read.
  if (is_same_file(input, options.out_path)) return report_failure(console, Failure::kSameFile);
  TextReader reader;
  start_reading(reader, input);
  char line[kLineBufferSize];
  Banner banner;
  ScriptFile script;
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    const std::string_view text(line, length);
    // Opened afresh for each line: the file is emptied and gets a new header.
    if (!open_script(script, options.out_path)) return report_open_failure(console, script);
    lay_out_banner(text, banner, options.utf8);
    const bool written = write_block(script, text, banner, options, console.err);
    if (!close_script(script) || !written) return report_write_failure(console, script);
  }
  if (reader.failed) return report_failure(console, Failure::kInputRead);
  return 0;
}

int run_tallsay(int argc, const char* const* argv, std::FILE* input, const Console& console) {
  RunOptions options;
  const char* bad_argument = nullptr;
  switch (parse_options(argc, argv, options, bad_argument)) {
    case ParseOutcome::kInvalidArgument:
      return report_failure(console, Failure::kInvalidArgument, bad_argument);
    case ParseOutcome::kNoOutputFile:
      return report_failure(console, Failure::kNoOutputFile);
    case ParseOutcome::kRun:
      break;
  }
  if (options.in_path != nullptr) return run_batch(options, console);
  return run_interactive(options, input, console);
}

}  // namespace tallsay
