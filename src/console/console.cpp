// The console's limits and the measure of a script against them.
#include "console/console.h"
#include "console/text_buffer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "script/script.h"

namespace tallsay {
namespace {

// The defaults of the console the script format is made for. Each sentence
// names its limit's value; nothing else holds these numbers.
constexpr ConsoleLimit kLimits[kLimitCount] = {
    {8191, "the console runs nothing of a script over 8191 bytes",
     "the game runs nothing of a script over 8191 bytes"},
    {1019, "the console's limit is 1019 bytes a line",
     "a script line over 1019 bytes overflows the game's console"},
    {4, "the console takes 4 chat lines in 4 seconds and mutes for 10 seconds",
     "bind one banner per key"},
    {7, "the server takes 7 commands of one packet and drops the rest", "bind one banner per key"},
    {1384,
     "the console sends at most 1384 bytes of commands at once, a say costing its bytes and 8, "
     "and then drops the connection",
     "the game drops the connection when one key sends over 1384 bytes of chat"},
    {150, "the console cuts a chat line over 150 bytes, the name and \": \" included",
     "the game cuts a chat line over 150 bytes with your name"},
    {69, "a chat line on a 640-pixel screen holds 69 columns after the name \"Player\"",
     "rows over 69 columns wrap on a 640-pixel screen"},
    {77, "a chat line on a 640-pixel screen holds 77 columns",
     "rows over 77 columns wrap on a 640-pixel screen"},
    {67, "a team chat line on a 640-pixel screen holds 67 columns after \"(Player)\"",
     "team rows over 67 columns wrap on a 640-pixel screen"},
};

// What a say command costs beyond its bytes when it is sent.
constexpr std::int64_t kSayCost = 8;

// The bytes ": " that follow the name in a chat line, and the "(" and ")"
// around it in a team chat line.
constexpr std::int64_t kNameSeparatorBytes = 2;
constexpr std::int64_t kTeamNameBytes = 2;

// The length of "say " or "say_team " that `line` starts with, telling in
// `team` which; 0 for neither.
std::size_t say_command_length(std::string_view line, bool& team) {
  team = line.substr(0, kSayTeamPrefix.size() - 1) ==
         kSayTeamPrefix.substr(0, kSayTeamPrefix.size() - 1);
  const std::string_view command = (team ? kSayTeamPrefix : kSayPrefix)
                                       .substr(0, (team ? kSayTeamPrefix : kSayPrefix).size() - 1);
  return line.substr(0, command.size()) == command ? command.size() : 0;
}

// The bytes a say command says: those between its quotes, or all after
// "say " when it has none. Of a line longer than the caller keeps, the
// `unkept` bytes are said too, but for the closing quote when it opened one.
std::string_view said_bytes(std::string_view arguments, std::int64_t& unkept) {
  const bool quoted = !arguments.empty() && arguments.front() == '"';
  if (quoted && unkept > 0) {
    --unkept;
    return arguments.substr(1);
  }
  if (quoted && arguments.size() >= 2 && arguments.back() == '"') {
    return arguments.substr(1, arguments.size() - 2);
  }
  return arguments;
}

std::int64_t columns_of(std::string_view said) {
  std::int64_t columns = 0;
  for (const char c : said) columns += static_cast<unsigned char>(c) >= 0x20;
  return columns;
}

// The bytes of the name and ": " in front of a chat line.
constexpr std::int64_t kNameBytes =
    static_cast<std::int64_t>(kPlayerName.size()) + kNameSeparatorBytes;

// The bytes of the longest chat line, the name in front included: the
// longest say's, or the longest say_team's, whose name is in parentheses.
std::int64_t longest_chat(const ScriptMeasure& measure) {
  const std::int64_t team =
      measure.longest_team_at > 0 ? measure.longest_team + kNameBytes + kTeamNameBytes : 0;
  const std::int64_t say = measure.longest_say_at > 0 ? measure.longest_say + kNameBytes : 0;
  return team > say ? team : say;
}

void keep_most(std::int64_t value, std::int64_t at, std::int64_t& most, std::int64_t& most_at) {
  if (value > most) {
    most = value;
    most_at = at;
  }
}

}  // namespace

void TextBuffer::add(const char* format, ...) {
  if (length + 1 >= size) return;
  std::va_list arguments;
  va_start(arguments, format);
  const int added = std::vsnprintf(buffer + length, size - length, format, arguments);
  va_end(arguments);
  if (added > 0) length = std::min(length + static_cast<std::size_t>(added), size - 1);
}

TextBuffer start_text(char* buffer, std::size_t size) {
  buffer[0] = '\0';
  return TextBuffer{buffer, size, 0};
}

const ConsoleLimit& console_limit(Limit limit) {
  return kLimits[static_cast<int>(limit)];
}

ScriptMeasure start_measure() {
  return ScriptMeasure{};
}

void measure_line(ScriptMeasure& measure, std::string_view line, std::int64_t length, bool ended) {
  const std::int64_t number = ++measure.lines;
  measure.bytes += length + (ended ? 1 : 0);
  keep_most(length, number, measure.longest_line, measure.longest_at);
  // The console drops the CR of a CR LF line end from the command. A line
  // longer than the caller keeps is taken to end as the tool's lines do.
  std::int64_t unkept = length - static_cast<std::int64_t>(line.size());
  if (ended && unkept > 0) {
    --unkept;
  } else if (ended && !line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  bool team = false;
  const std::size_t command = say_command_length(line, team);
  if (command == 0) return;
  const std::string_view said = said_bytes(line.substr(command), unkept);
  const std::int64_t bytes = static_cast<std::int64_t>(said.size()) + unkept;
  ++measure.say_lines;
  measure.frame_bytes += bytes + kSayCost;
  if (team) {
    keep_most(bytes, number, measure.longest_team, measure.longest_team_at);
  } else {
    keep_most(bytes, number, measure.longest_say, measure.longest_say_at);
  }
  const std::int64_t columns = columns_of(said) + unkept;
  if (!said.empty() && said.front() == kHideNameByte) {
    keep_most(columns, number, measure.widest_hidden, measure.widest_hidden_at);
  } else if (team) {
    keep_most(columns, number, measure.widest_team, measure.widest_team_at);
  } else {
    keep_most(columns, number, measure.widest_named, measure.widest_named_at);
  }
}

ScriptMeasure measure_script(std::string_view script) {
  ScriptMeasure measure = start_measure();
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    const std::string_view line = script.substr(0, end);
    measure_line(measure, line, static_cast<std::int64_t>(line.size()), end != script.npos);
    script.remove_prefix(end == script.npos ? script.size() : end + 1);
  }
  return measure;
}

bool passes(const ScriptMeasure& measure, Limit limit) {
  const std::int64_t value = console_limit(limit).value;
  switch (limit) {
    case Limit::kScriptBytes:
      return measure.bytes > value;
    case Limit::kLineBytes:
      return measure.longest_line > value;
    case Limit::kChatLines:
      return measure.say_lines > value;
    case Limit::kFrameCommands:
      return measure.say_lines > value;
    case Limit::kFrameBytes:
      return measure.frame_bytes > value;
    case Limit::kChatBytes:
      return measure.say_lines > 0 && longest_chat(measure) > value;
    case Limit::kColumnsWithName:
      return measure.widest_named > value;
    case Limit::kColumnsNoName:
      return measure.widest_hidden > value;
    case Limit::kColumnsTeam:
      return measure.widest_team > value;
  }
  return false;
}

std::size_t describe_notes(const ScriptMeasure& m, char* buffer, std::size_t size) {
  TextBuffer text = start_text(buffer, size);
  for (int i = 0; i < kLimitCount; ++i) {
    const auto limit = static_cast<Limit>(i);
    if (!passes(m, limit)) continue;
    const char* past = console_limit(limit).past;
    switch (limit) {
      case Limit::kScriptBytes:
        text.add("note: %" PRId64 " bytes: %s\n", m.bytes, past);
        break;
      case Limit::kLineBytes:
        text.add("note: line %" PRId64 " is %" PRId64 " bytes: %s\n", m.longest_at, m.longest_line,
                 past);
        break;
      case Limit::kChatLines:
        text.add("note: %" PRId64 " chat lines: %s\n", m.say_lines, past);
        break;
      case Limit::kFrameCommands:
        text.add("note: %" PRId64 " commands at once: %s\n", m.say_lines, past);
        break;
      case Limit::kFrameBytes:
        text.add("note: %" PRId64 " bytes of say commands at once: %s\n", m.frame_bytes, past);
        break;
      case Limit::kChatBytes: {
        const bool team = longest_chat(m) > m.longest_say + kNameBytes;
        text.add("note: line %" PRId64 " says %" PRId64 " bytes: %s\n",
                 team ? m.longest_team_at : m.longest_say_at, team ? m.longest_team : m.longest_say,
                 past);
        break;
      }
      case Limit::kColumnsWithName:
        text.add("note: line %" PRId64 " shows %" PRId64 " columns: %s\n", m.widest_named_at,
                 m.widest_named, past);
        break;
      case Limit::kColumnsNoName:
        text.add("note: line %" PRId64 " shows %" PRId64 " columns: %s\n", m.widest_hidden_at,
                 m.widest_hidden, past);
        break;
      case Limit::kColumnsTeam:
        text.add("note: line %" PRId64 " shows %" PRId64 " columns: %s\n", m.widest_team_at,
                 m.widest_team, past);
        break;
    }
  }
  return text.length;
}

std::size_t describe_advice(const ScriptMeasure& measure, char* buffer, std::size_t size) {
  TextBuffer text = start_text(buffer, size);
  for (int i = 0; i < kLimitCount; ++i) {
    if (!passes(measure, static_cast<Limit>(i))) continue;
    const char* advice = kLimits[i].advice;
    bool said = false;
    for (int before = 0; before < i; ++before) {
      said = said || (passes(measure, static_cast<Limit>(before)) &&
                      std::strcmp(kLimits[before].advice, advice) == 0);
    }
    if (!said) text.add("%s%s", text.length > 0 ? "; " : "", advice);
  }
  return text.length;
}

}  // namespace tallsay
