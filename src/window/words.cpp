// The words the window says: the status line, the label under the drawing,
// its questions, and the words and mnemonics of its controls.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "window/window.h"

namespace tallsay {
namespace {

// A printf-style writer into a buffer that cuts what does not fit.
struct Words {
  char* buffer;
  std::size_t size;
  std::size_t length;

  void add(const char* format, ...) {
    if (length + 1 >= size) return;
    std::va_list arguments;
    va_start(arguments, format);
    const int added = std::vsnprintf(buffer + length, size - length, format, arguments);
    va_end(arguments);
    if (added > 0) length = std::min(length + static_cast<std::size_t>(added), size - 1);
  }
};

Words start_words(char* buffer, std::size_t size) {
  buffer[0] = '\0';
  return Words{buffer, size, 0};
}

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

const char* columns(std::int64_t width) {
  return width == 1 ? "column" : "columns";
}

const char* plural(std::int64_t count) {
  return count == 1 ? "" : "s";
}

// The length of the folder part of `path`, its last separator included.
int folder_length(const char* path) {
  return static_cast<int>(file_name_of(path) - path);
}

// Adds " In the game: ADVICE." for what the measured script asks of the
// console, or nothing when it passes no limit.
void add_advice(Words& words, const ScriptMeasure& measure) {
  char advice[1024];
  if (describe_advice(measure, advice, sizeof advice) > 0) {
    words.add(" In the game: %s.", advice);
  }
}

// Adds why `name` is refused as a script's name.
void add_name_rule(Words& words, const char* name) {
  words.add(
      "The game cannot run a script named \"%s\": the console's exec takes one word: a name of "
      "letters, digits, _, - and . that starts with a letter or digit and ends in .cfg, at "
      "most %lu bytes.",
      name, static_cast<unsigned long>(kMaxScriptNameBytes));
}

}  // namespace

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
    case LineOutcome::kFolder:
      return say(buffer, size,
                 "%s is a folder: press Choose and name a file in it as the script, such as "
                 "chat.cfg. Nothing was written.",
                 path);
    case LineOutcome::kOpenFailed:
      return say(buffer, size, "Could not write %s: %.*s. The script was not changed.", path,
                 reason_length(reason), reason);
    case LineOutcome::kWriteFailed:
      return say(buffer, size, "Could not write %s: %.*s.", path, reason_length(reason), reason);
  }
  return say(buffer, size, "");
}

std::size_t describe_conversion(ConvertOutcome outcome, const char* text_path,
                                const char* script_path, const ScriptCount& count,
                                std::int32_t max_line_len, const char* reason, char* buffer,
                                std::size_t size) {
  const int length = reason_length(reason);
  const char* text_name = file_name_of(text_path);
  Words words = start_words(buffer, size);
  switch (outcome) {
    case ConvertOutcome::kConverted:
      words.add("%s now holds %lld banner%s of %s, every line up to the first empty one",
                script_path, static_cast<long long>(count.banners), plural(count.banners),
                text_name);
      if (count.over_limit > 0) {
        words.add("; %lld %s wider than %ld columns", static_cast<long long>(count.over_limit),
                  count.over_limit == 1 ? "is" : "are", static_cast<long>(max_line_len));
      }
      words.add(".");
      add_advice(words, count.measure);
      break;
    case ConvertOutcome::kInputOpenFailed:
      words.add("Could not open %s: %.*s.", text_path, length, reason);
      break;
    case ConvertOutcome::kSameFile:
      words.add("%s is the text itself: choose another name for the script. Nothing was changed.",
                script_path);
      break;
    case ConvertOutcome::kOpenFailed:
      words.add("Could not write %s: %.*s. The script was not changed.", script_path, length,
                reason);
      break;
    case ConvertOutcome::kWriteFailed:
      words.add("Could not write %s: %.*s.", script_path, length, reason);
      break;
    case ConvertOutcome::kReadFailed:
      words.add("Could not read %s to its end: %.*s. %s holds the %lld banner%s before.", text_path,
                length, reason, script_path, static_cast<long long>(count.banners),
                plural(count.banners));
      break;
    case ConvertOutcome::kEmptyText:
      words.add("Nothing converted: %s is empty. The script was not written.", text_name);
      break;
    case ConvertOutcome::kFirstLineEmpty:
      words.add(
          "Nothing converted: the first line of %s is empty, and a text is converted up to its "
          "first empty line. The script was not written.",
          text_name);
      break;
    case ConvertOutcome::kNotText:
      words.add(
          "Nothing converted: %s is not a text file (it holds NUL bytes). The script was not "
          "written.",
          text_name);
      break;
    case ConvertOutcome::kFolder:
      words.add("Nothing converted: %s is a folder; name a file in it as the script.", script_path);
      break;
  }
  return words.length;
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
  const char* name = file_name_of(settings.script_path);
  if (!is_script_name(settings.script_path)) {
    Words words = start_words(buffer, size);
    add_name_rule(words, name);
    words.add(" Press Choose to name it anew.");
    return words.length;
  }
  return say(buffer, size,
             "Type a line and press Enter: %s then says it in tall letters. In the game, bind a "
             "key to it once, for instance: bind F5 \"exec %s\"",
             name, name);
}

std::size_t describe_folder_question(const char* path, char* buffer, std::size_t size) {
  return say(buffer, size, "%.*s holds no other .cfg file: is this the game's cfg folder? ",
             std::max(folder_length(path) - 1, 0), path);
}

std::size_t describe_chosen(const WindowSettings& settings, bool other_scripts, char* buffer,
                            std::size_t size) {
  const std::size_t question =
      other_scripts ? 0 : describe_folder_question(settings.script_path, buffer, size);
  return question + describe_start(settings, buffer + question, size - question);
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

std::size_t describe_typed(std::string_view text, const WindowSettings& settings, ScriptWork& work,
                           char* buffer, std::size_t size) {
  if (text.size() > static_cast<std::size_t>(kMaxTextBytes)) {
    return say(buffer, size, "This line is %lu bytes long; a line holds at most %d.",
               static_cast<unsigned long>(text.size()), kMaxTextBytes);
  }
  lay_out_banner(text, work.banner);
  Words words = start_words(buffer, size);
  words.length = describe_width(work.banner.width, settings.max_line_len, buffer, size);
  if (text.empty()) return words.length;
  const std::string_view script =
      script_of_line(work.script, text, work.banner, settings.max_line_len, settings.hide_name);
  char advice[1024];
  if (describe_advice(measure_script(script), advice, sizeof advice) > 0) {
    words.add(". In the game: %s.", advice);
  }
  return words.length;
}

std::size_t describe_name_fix(const char* path, const char* fixed, char* buffer, std::size_t size) {
  Words words = start_words(buffer, size);
  add_name_rule(words, file_name_of(path));
  words.add(" Save it as %s instead?", file_name_of(fixed));
  return words.length;
}

std::size_t describe_not_a_script(const char* path, const ExistingFile& file, char* buffer,
                                  std::size_t size) {
  Words words = start_words(buffer, size);
  words.add("%s is not a tallsay script: ", path);
  if (file.size < 0) {
    words.add("it cannot be read");
  } else {
    words.add("it holds %lld byte%s that do not start with tallsay's first line",
              static_cast<long long>(file.size), plural(file.size));
  }
  words.add(
      ", perhaps settings of the game. The first line you send replaces all of it. Take it as "
      "the script all the same?");
  return words.length;
}

std::size_t describe_limit_entry(LimitEntry entry, const char* text, std::int32_t kept,
                                 char* buffer, std::size_t size) {
  switch (entry) {
    case LimitEntry::kTaken:
      return say(buffer, size, "");
    case LimitEntry::kTooLarge:
      return say(buffer, size,
                 "%.20s is too large for a width limit: it takes up to %ld columns (0: never "
                 "warn). The limit stays %ld.",
                 text, static_cast<long>(std::numeric_limits<std::int32_t>::max()),
                 static_cast<long>(kept));
    case LimitEntry::kNotDigits:
      return say(buffer, size,
                 "The width limit takes digits only (0: never warn). The limit stays %ld.",
                 static_cast<long>(kept));
  }
  return say(buffer, size, "");
}

std::size_t describe_paste(const Paste& paste, char* buffer, std::size_t size) {
  if (paste.other_lines == 0) return say(buffer, size, "");
  return say(buffer, size,
             "The line box takes one line: the first line pasted is in it, and the %lld line%s "
             "after it %s left out. Convert a text file\xE2\x80\xA6 turns a whole text into one "
             "script.",
             static_cast<long long>(paste.other_lines), plural(paste.other_lines),
             paste.other_lines == 1 ? "was" : "were");
}

const char* control_text(int id) {
  for (const ControlText& control : kControlTexts) {
    if (control.id == id) return control.text;
  }
  return "";
}

int mnemonic_control(char key) {
  const char lower = key >= 'A' && key <= 'Z' ? static_cast<char>(key + 32) : key;
  for (const ControlText& control : kControlTexts) {
    const char* mark = std::strchr(control.text, '&');
    if (mark == nullptr || mark[1] == '\0') continue;
    const char letter =
        mark[1] >= 'A' && mark[1] <= 'Z' ? static_cast<char>(mark[1] + 32) : mark[1];
    if (letter != lower) continue;
    // A label leads to the control after it.
    switch (control.id) {
      case kIdLabelLimit:
        return kIdLimit;
      case kIdLabelSent:
        return kIdSent;
      case kIdLabelLine:
        return kIdLine;
      default:
        return control.id;
    }
  }
  return 0;
}

}  // namespace tallsay
