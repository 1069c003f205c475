// The words the window says: the status line, the label under the drawing,
// its questions, and the words and mnemonics of its controls.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "console/text_buffer.h"
#include "window/window.h"

namespace tallsay {
namespace {

using Words = TextBuffer;

Words start_words(char* buffer, std::size_t size) {
  return start_text(buffer, size);
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

// The English ordinal of `number`: 1st, 2nd, 3rd, 4th, 11th, 21st, ...
void add_ordinal(Words& words, std::int64_t number) {
  const std::int64_t tens = number % 100;
  const std::int64_t ones = number % 10;
  const char* suffix = "th";
  if (tens < 11 || tens > 13)
    suffix = ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
  words.add("%lld%s", static_cast<long long>(number), suffix);
}

// Adds the names of the first `count` scripts of the chain whose first is
// `first`: "a", "a and b", or "a to c".
void add_scripts(Words& words, const char* first, int count) {
  char last[kMaxScriptNameBytes + 1];
  if (count <= 1 || !chain_script_name(first, count - 1, last)) {
    words.add("%s", first);
    return;
  }
  words.add("%s %s %s", first, count == 2 ? "and" : "to", last);
}

// The lines named in `result` as passing a limit: all of them, or those
// cut into pieces alone when `cut_only`.
int named_lines(const ChainResult& result, bool cut_only) {
  constexpr int kKept = sizeof result.over_lines / sizeof result.over_lines[0];
  int count = 0;
  for (int i = 0; i < std::min(result.over_count, kKept); ++i) {
    count += !cut_only || result.over_cut[i] ? 1 : 0;
  }
  return count;
}

// Adds the numbers of named_lines(result, cut_only): "2", "2 and 5",
// "2, 3 and 5", then " and N more" for the lines past them.
void add_line_numbers(Words& words, const ChainResult& result, bool cut_only) {
  const int count = named_lines(result, cut_only);
  const int more = cut_only ? 0 : result.over_count - count;
  for (int i = 0, named = 0; named < count; ++i) {
    if (cut_only && !result.over_cut[i]) continue;
    ++named;
    const bool last = named == count && more == 0;
    words.add("%s%d", named == 1 ? "" : last ? " and " : ", ", result.over_lines[i]);
  }
  if (more > 0) words.add(" and %d more", more);
}

// Adds the numbers of the lines whose scripts pass a limit of the console,
// and how to see which: the line box shows it for a line it can send.
void add_over_lines(Words& words, const ChainResult& result) {
  if (result.over_count <= 0) return;
  const bool one = result.over_count == 1;
  words.add(one ? " Line " : " Lines ");
  add_line_numbers(words, result, false);
  words.add(one ? " passes a limit of the game's console on its own"
                : " pass limits of the game's console on their own");
  const int cut = named_lines(result, true);
  if (cut == 0) {
    words.add(one ? ": type it in the line box to see which."
                  : ": type one in the line box to see which.");
    return;
  }
  words.add(cut == 1 ? ". Line " : ". Lines ");
  add_line_numbers(words, result, true);
  words.add(" %s over %d bytes, longer than the line box sends.", cut == 1 ? "is" : "are",
            kMaxTextBytes);
}

// Adds what each press of `key` does in a whole chain of `count` scripts.
void add_presses(Words& words, std::string_view key, int count) {
  const int key_length = static_cast<int>(key.size());
  if (count == 1) {
    words.add(" Each press of %.*s says it; press it at most once every 4 seconds.", key_length,
              key.data());
  } else {
    words.add(
        " Each press of %.*s says the next line, and after the last the first again; press it at "
        "most once every 4 seconds.",
        key_length, key.data());
  }
}

// Adds the bind line that starts the chain whose first script is `first`.
void add_bind(Words& words, const char* first, std::string_view key) {
  char bind[kBindLineBytes];
  const std::size_t length = bind_line(key, first, bind, sizeof bind);
  words.add(" In the game's console, type once: %.*s", static_cast<int>(length), bind);
}

// Adds " in FOLDER" for the folder of `path`, when it has one.
void add_folder(Words& words, const char* path) {
  const int folder = folder_length(path) - 1;
  if (folder > 0) words.add(" in %.*s", folder, path);
}

// Adds the folder and the names of a chain written whole (`result`) from
// the text `text_name`, what each press does, the lines over a limit and
// the bind to type once.
void add_whole_chain(Words& words, const ChainResult& result, const char* first_path,
                     const char* text_name, std::string_view key) {
  const char* first = file_name_of(first_path);
  add_folder(words, first_path);
  words.add(": ");
  add_scripts(words, first, result.written);
  words.add(result.written == 1 ? ", with the line of %s" : ", one line of %s each", text_name);
  if (result.cut_lines > 0) {
    const int pieces = result.written - result.lines + result.cut_lines;
    words.add(", but %d line%s over %d bytes %s cut into %d pieces, a script each",
              result.cut_lines, plural(result.cut_lines), kMaxTextBytes,
              result.cut_lines == 1 ? "is" : "are", pieces);
  }
  words.add(".");
  add_presses(words, key, result.written);
  add_over_lines(words, result);
  add_bind(words, first, key);
}

// Adds which scripts of a chain were written, which was not and why
// (`result` a failure of writing one), and what the chain does until all
// are. `scripts` is the length the chain would have had.
void add_broken_chain(Words& words, const ChainResult& result, const char* first_path,
                      std::int64_t scripts, const char* reason) {
  const char* first = file_name_of(first_path);
  const int written = result.written;
  char failed[kMaxScriptNameBytes + 1];
  const bool named = chain_script_name(first, written, failed);
  if (written > 0) {
    add_scripts(words, first, written);
    words.add(" %s written", written == 1 ? "was" : "were");
    add_folder(words, first_path);
    words.add("; ");
  }
  if (result.outcome == ChainOutcome::kNameTooLong || !named) {
    // The name that does not fit is this script's own or the next's, which
    // it binds.
    words.add("%s name of the ", written > 0 ? "the" : "The");
    add_ordinal(words, written + (named ? 2 : 1));
    words.add(
        " script would be longer than the %lu bytes the console's exec takes: choose a shorter "
        "name for the first.",
        static_cast<unsigned long>(kMaxScriptNameBytes));
  } else if (result.outcome == ChainOutcome::kSameFile) {
    words.add("%s is the text itself: choose another name for the chain's first script.", failed);
  } else if (written == 0) {
    words.add("Could not write %s: %.*s.", first_path, reason_length(reason), reason);
  } else {
    words.add("%s", failed);
    if (scripts > 1) {
      words.add(", the ");
      add_ordinal(words, written + 1);
      words.add(" of %lld,", static_cast<long long>(scripts));
    }
    words.add(" could not be written: %.*s.", reason_length(reason), reason);
  }
  if (written == 0) {
    words.add(" No script was written.");
    return;
  }
  char last[kMaxScriptNameBytes + 1];
  chain_script_name(first, written - 1, last);
  words.add(" Until every script is written, the chain breaks after %s%s", last,
            result.outcome == ChainOutcome::kWriteFailed
                ? ": convert the text again once the reason is gone."
                : ".");
}

}  // namespace

const char* refusal_words(const Replacement& replacement) {
  if (replacement.foreign) return "it is reached through another user's link";
  if (replacement.held) return "it is held open by another program";
  if (replacement.named_stream) return "its name holds ':', which names a stream of a file";
  return nullptr;
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
                 "Invalid argument specified: '%s'. The window takes --out-file=, --line-len=, "
                 "--no-name, --utf8 and --team; the others were not used.",
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
  char bind[kBindLineBytes];
  const std::size_t bind_length = bind_line("F5", name, bind, sizeof bind);
  return say(buffer, size,
             "Type a line and press Enter: %s then says it in tall letters. In the game, bind a "
             "key to it once, for instance: %.*s",
             name, static_cast<int>(bind_length), bind);
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
  const BlockOptions options = block_options(settings);
  lay_out_banner(text, work.banner, options.utf8);
  Words words = start_words(buffer, size);
  words.length = describe_width(work.banner.width, settings.max_line_len, buffer, size);
  if (text.empty()) return words.length;
  const std::string_view script = script_of_line(work.script, text, work.banner, options);
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

std::size_t describe_not_a_script(const char* path, const ExistingFile& file, Settle settle,
                                  char* buffer, std::size_t size) {
  Words words = start_words(buffer, size);
  words.add("%s is not a tallsay script: ", path);
  if (file.size < 0) {
    words.add("it cannot be read");
  } else {
    words.add("it holds %lld byte%s that do not start with tallsay's first line",
              static_cast<long long>(file.size), plural(file.size));
  }
  words.add(", perhaps settings of the game. ");
  switch (settle) {
    case Settle::kChoose:
      words.add("The first line you send replaces all of it. Take it as the script all the same?");
      break;
    case Settle::kConvert:
      words.add("The converted text replaces all of it. Save the script there all the same?");
      break;
    case Settle::kChain:
      words.add("The chain's first script replaces all of it. Write the chain there all the same?");
      break;
  }
  return words.length;
}

std::size_t describe_replace(const char* path, bool chain, char* buffer, std::size_t size) {
  return say(buffer, size, "%s is a tallsay script already. Replace it with %s?", path,
             chain ? "the first script of the chain" : "the converted text");
}

std::size_t describe_chain_clash(const ChainClash& clash, char* buffer, std::size_t size) {
  Words words = start_words(buffer, size);
  words.add(
      "%s is not a tallsay script: it holds %lld byte%s that do not start with tallsay's "
      "first line, perhaps settings of the game.",
      clash.first, static_cast<long long>(clash.file.size), plural(clash.file.size));
  if (clash.count > 1) {
    words.add(" So %s %lld more file%s of the chain's names.", clash.count == 2 ? "does" : "do",
              static_cast<long long>(clash.count - 1), plural(clash.count - 1));
  }
  words.add(" The chain replaces all of %s. Write the chain all the same?",
            clash.count > 1 ? "them" : "it");
  return words.length;
}

std::size_t describe_look(const TextLook& look, const char* text_path, const char* reason,
                          char* buffer, std::size_t size) {
  if (look.outcome == ConvertOutcome::kReadFailed) {
    return say(buffer, size, "Could not read %s: %.*s. Nothing was written.", text_path,
               reason_length(reason), reason);
  }
  const ScriptCount none{0, 0, start_measure()};
  return describe_conversion(look.outcome, text_path, "", none, 0, reason, buffer, size);
}

std::size_t describe_chain_question(const char* text_path, const TextLook& look, char* buffer,
                                    std::size_t size) {
  Words words = start_words(buffer, size);
  words.add("%s holds %lld line%s up to its first empty one", file_name_of(text_path),
            static_cast<long long>(look.lines), plural(look.lines));
  if (look.cut_lines > 0) {
    const std::int64_t pieces = look.banners - look.lines + look.cut_lines;
    words.add("; %lld of them %s over %d bytes and %s cut into %lld pieces, a banner each",
              static_cast<long long>(look.cut_lines), look.cut_lines == 1 ? "is" : "are",
              kMaxTextBytes, look.cut_lines == 1 ? "is" : "are", static_cast<long long>(pieces));
  }
  words.add(". How should the game say %s?", look.banners == 1 ? "it" : "them");
  return words.length;
}

std::size_t describe_key_entry(std::string_view key, char* buffer, std::size_t size) {
  if (is_key_name(key)) return say(buffer, size, "");
  Words words = start_words(buffer, size);
  if (key.empty()) {
    words.add("Type the key that says the next line: ");
  } else {
    words.add("The game's console binds no key named \"%.*s\": a key is ",
              static_cast<int>(key.size()), key.data());
  }
  words.add(
      "a letter, a digit, F1 to F12 or one of the console's other key names such as SPACE or "
      "MOUSE4, without blanks, quotes or ;.");
  return words.length;
}

std::size_t describe_chain(const ChainResult& result, const char* text_path, const char* first_path,
                           std::string_view key, std::int64_t banners, const char* reason,
                           char* buffer, std::size_t size) {
  const char* text_name = file_name_of(text_path);
  const int reason_shown = reason_length(reason);
  Words words = start_words(buffer, size);
  switch (result.outcome) {
    case ChainOutcome::kWritten:
      if (result.written == 0) {
        words.add(
            "Nothing converted: %s holds no line before its first empty one. No script was "
            "written.",
            text_name);
        break;
      }
      words.add("%d script%s written", result.written, plural(result.written));
      add_whole_chain(words, result, first_path, text_name, key);
      break;
    case ChainOutcome::kInputOpenFailed:
      words.add("Could not open %s: %.*s.", text_path, reason_shown, reason);
      break;
    case ChainOutcome::kReadFailed:
      words.add("Could not read %s to its end: %.*s.", text_path, reason_shown, reason);
      if (result.written == 0) {
        words.add(" No script was written.");
        break;
      }
      words.add(" Its %d line%s before that became a chain", result.lines, plural(result.lines));
      add_whole_chain(words, result, first_path, text_name, key);
      break;
    case ChainOutcome::kWriteFailed:
    case ChainOutcome::kSameFile:
    case ChainOutcome::kNameTooLong:
      add_broken_chain(words, result, first_path, banners, reason);
      break;
  }
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
             "script, or into one banner per key press.",
             static_cast<long long>(paste.other_lines), plural(paste.other_lines),
             paste.other_lines == 1 ? "was" : "were");
}

const char* control_text(int id) {
  for (const ControlText& control : kControlTexts) {
    if (control.id == id) return control.text;
  }
  for (const ControlText& control : kChainDialogTexts) {
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
