// What a typed line and a text file do to the script, and the words the
// window says about it.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/platform.h"
#include "window/window.h"

namespace tallsay {
namespace {

// Writes the printf-style message into `buffer`, cut to fit, and returns
// its length.
std::size_t say(char* buffer, std::size_t size, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return std::min(static_cast<std::size_t>(length), size - 1);
}

// The system's reason without its line end and final dot, as a length for
// "%.*s".
int reason_length(const char* reason) {
  std::size_t length = std::strlen(reason);
  while (length > 0 && std::strchr(" \t\r\n.", reason[length - 1]) != nullptr) --length;
  return static_cast<int>(length);
}

const char* columns(std::int32_t width) {
  return width == 1 ? "column" : "columns";
}

// The file name at the end of `path`.
const char* file_name(const char* path) {
  const char* name = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/' || *at == ':') name = at + 1;
  }
  return name;
}

}  // namespace

LineOutcome send_line(std::string_view text, const WindowSettings& settings, ScriptWork& work,
                      std::FILE* warnings, std::int32_t& width) {
  width = 0;
  if (text.empty()) return LineOutcome::kEmpty;
  if (text.size() > static_cast<std::size_t>(kMaxTextBytes)) return LineOutcome::kTooLong;
  if (text.find_first_of(std::string_view("\n\r\x1A\0", 4)) != std::string_view::npos) {
    return LineOutcome::kLineBreak;
  }
  lay_out_banner(text, work.banner);
  width = work.banner.width;
  if (settings.script_path[0] == '\0') return LineOutcome::kNoScript;
  if (!open_script(work.script, settings.script_path)) return LineOutcome::kOpenFailed;
  const bool written = write_block(work.script, text, work.banner, settings.max_line_len,
                                   settings.hide_name, warnings);
  if (!close_script(work.script) || !written) return LineOutcome::kWriteFailed;
  return LineOutcome::kWritten;
}

ConvertOutcome convert_text_file(const char* text_path, const char* script_path,
                                 const WindowSettings& settings, ScriptWork& work,
                                 std::FILE* warnings) {
  std::FILE* input = open_file(text_path, "rb");
  if (input == nullptr) return ConvertOutcome::kInputOpenFailed;
  ConvertOutcome outcome = ConvertOutcome::kConverted;
  if (is_same_file(input, script_path)) {
    outcome = ConvertOutcome::kSameFile;
  } else if (!open_script(work.script, script_path)) {
    outcome = ConvertOutcome::kOpenFailed;
  } else {
    RunOptions options;
    options.max_line_len = settings.max_line_len;
    options.hide_name = settings.hide_name;
    start_reading(work.reader, input);
    const bool written = convert_lines(work.reader, work.script, options, warnings);
    if (!close_script(work.script) || !written) {
      outcome = ConvertOutcome::kWriteFailed;
    } else if (work.reader.failed) {
      outcome = ConvertOutcome::kReadFailed;
    }
  }
  // Closing the text must not change the reason of a failure.
  const int error = errno;
  std::fclose(input);
  errno = error;
  return outcome;
}

bool script_name_for_text(const char* text_path, char (&name)[kMaxPathBytes]) {
  const std::string_view text_name = file_name(text_path);
  const std::size_t dot = text_name.rfind('.');
  const std::string_view stem = dot == std::string_view::npos || dot == 0
                                    ? text_name
                                    : std::string_view(text_name.data(), dot);
  if (stem.size() + 5 > kMaxPathBytes) return false;
  std::memcpy(name, stem.data(), stem.size());
  std::memcpy(name + stem.size(), ".cfg", 5);
  return true;
}

std::size_t describe_line(LineOutcome outcome, std::string_view text, std::int32_t width,
                          const WindowSettings& settings, const char* reason, char* buffer,
                          std::size_t size) {
  const char* path = settings.script_path;
  const int shown = static_cast<int>(std::min(text.size(), std::size_t{kMaxTextBytes}));
  switch (outcome) {
    case LineOutcome::kWritten:
      if (settings.max_line_len > 0 && width > settings.max_line_len) {
        return say(buffer, size, "%s now says \"%.*s\" (%ld %s). %.*s%ld > %ld", path, shown,
                   text.data(), static_cast<long>(width), columns(width),
                   static_cast<int>(kWarningWords.size()), kWarningWords.data(),
                   static_cast<long>(width), static_cast<long>(settings.max_line_len));
      }
      return say(buffer, size, "%s now says \"%.*s\" (%ld %s).", path, shown, text.data(),
                 static_cast<long>(width), columns(width));
    case LineOutcome::kEmpty:
      return say(buffer, size, "Type a line, then press Enter.");
    case LineOutcome::kTooLong:
      return say(buffer, size,
                 "This line is %lu bytes long; a line holds at most %d. Nothing was written.",
                 static_cast<unsigned long>(text.size()), kMaxTextBytes);
    case LineOutcome::kLineBreak:
      return say(buffer, size,
                 "This line holds a line break or an end mark (Ctrl+Z): send one line at a "
                 "time. Nothing was written.");
    case LineOutcome::kNoScript:
      return say(buffer, size,
                 "No script chosen yet: press Choose and save it in the game's script folder "
                 "(often named cfg).");
    case LineOutcome::kOpenFailed:
      return say(buffer, size, "Could not write %s: %.*s. The script was not changed.", path,
                 reason_length(reason), reason);
    case LineOutcome::kWriteFailed:
      return say(buffer, size, "Could not write %s: %.*s.", path, reason_length(reason), reason);
  }
  return say(buffer, size, "");
}

std::size_t describe_conversion(ConvertOutcome outcome, const char* text_path,
                                const char* script_path, const char* reason, char* buffer,
                                std::size_t size) {
  const int length = reason_length(reason);
  switch (outcome) {
    case ConvertOutcome::kConverted:
      return say(buffer, size,
                 "%s now holds %s in tall letters, every line up to the first empty one.",
                 script_path, file_name(text_path));
    case ConvertOutcome::kInputOpenFailed:
      return say(buffer, size, "Could not open %s: %.*s.", text_path, length, reason);
    case ConvertOutcome::kSameFile:
      return say(buffer, size,
                 "%s is the text itself: choose another name for the script. Nothing was "
                 "changed.",
                 script_path);
    case ConvertOutcome::kOpenFailed:
      return say(buffer, size, "Could not write %s: %.*s. The script was not changed.", script_path,
                 length, reason);
    case ConvertOutcome::kWriteFailed:
      return say(buffer, size, "Could not write %s: %.*s.", script_path, length, reason);
    case ConvertOutcome::kReadFailed:
      return say(buffer, size, "Could not read %s to its end: %.*s. %s holds the lines before.",
                 text_path, length, reason, script_path);
  }
  return say(buffer, size, "");
}

std::size_t describe_arguments(ArgumentOutcome outcome, const char* bad, char* buffer,
                               std::size_t size) {
  switch (outcome) {
    case ArgumentOutcome::kRun:
      return say(buffer, size, "");
    case ArgumentOutcome::kInvalidArgument:
      return say(buffer, size,
                 "Invalid argument specified: '%s'. The window takes --out-file=, --line-len= "
                 "and --no-name; the others were not used.",
                 bad);
    case ArgumentOutcome::kPathTooLong:
      return say(buffer, size,
                 "The path of %.40s... is too long. The window takes paths of up to %lu bytes; "
                 "the other arguments were not used.",
                 bad, static_cast<unsigned long>(kMaxPathBytes - 1));
  }
  return say(buffer, size, "");
}

std::size_t describe_start(const WindowSettings& settings, char* buffer, std::size_t size) {
  if (settings.script_path[0] == '\0') {
    return say(buffer, size,
               "Choose where the script goes: in the game's script folder (often named cfg).");
  }
  const char* name = file_name(settings.script_path);
  return say(buffer, size,
             "Type a line and press Enter: %s then says it in tall letters. In the game, bind a "
             "key to it once, for instance: bind F5 \"exec %s\"",
             name, name);
}

std::size_t describe_width(std::int32_t width, std::int32_t max_line_len, char* buffer,
                           std::size_t size) {
  if (max_line_len <= 0) {
    return say(buffer, size, "%ld %s", static_cast<long>(width), columns(width));
  }
  if (width > max_line_len) {
    return say(buffer, size, "%ld of %ld columns: too wide, the game may cut it off",
               static_cast<long>(width), static_cast<long>(max_line_len));
  }
  return say(buffer, size, "%ld of %ld %s", static_cast<long>(width),
             static_cast<long>(max_line_len), columns(max_line_len));
}

int recall_step(int cursor, int count, int step) {
  return std::clamp(cursor + step, 0, std::max(count, 0));
}

}  // namespace tallsay
