// Console: the limits of the game's console that the script is made for,
// and the measure of a script against them, so that a player learns what
// the console will do with a script before pressing the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tallsay {

// The limits of the console, in the order in which notes name them.
enum class Limit : int {
  kScriptBytes,      // bytes of the whole script
  kLineBytes,        // bytes of one line of the script, its CR included
  kChatLines,        // chat lines said at once
  kFrameCommands,    // commands sent to the server at once
  kFrameBytes,       // bytes of the commands sent at once
  kChatBytes,        // bytes of one chat line, with the name and ": "
  kColumnsWithName,  // columns of a row shown after the name
  kColumnsNoName,    // columns of a row shown without it (--no-name)
  kColumnsTeam,      // columns of a team row shown after "(name)" (--team)
};
inline constexpr int kLimitCount = 9;

// One limit: the most the console takes, and what happens past it.
struct ConsoleLimit {
  std::int32_t value;
  const char* past;    // in the console's terms, for tallsay-preview
  const char* advice;  // in the game's terms, for a player at the window or the page
};

// The limit `limit` of the console.
const ConsoleLimit& console_limit(Limit limit);

// The name the console shows before a chat line in the widths above; a
// player's own name may be longer, and then fewer columns fit.
inline constexpr std::string_view kPlayerName = "Player";

// What a script asks of the console, gathered line by line.
struct ScriptMeasure {
  std::int64_t bytes;         // every byte, line ends included
  std::int64_t lines;         // lines seen
  std::int64_t longest_line;  // bytes of the longest line, a CR before its LF included
  std::int64_t longest_at;    // its number, from 1; 0 while no line is seen
  std::int64_t say_lines;     // say commands, each one chat line
  std::int64_t frame_bytes;   // what the say commands cost when sent: each says' bytes and 8
  std::int64_t longest_say;   // bytes said by the longest say command
  std::int64_t longest_say_at;
  std::int64_t longest_team;  // bytes said by the longest say_team command
  std::int64_t longest_team_at;
  std::int64_t widest_named;  // columns of the widest row shown after the name
  std::int64_t widest_named_at;
  std::int64_t widest_team;  // columns of the widest team row shown after "(name)"
  std::int64_t widest_team_at;
  std::int64_t widest_hidden;  // columns of the widest row led by the CR of --no-name
  std::int64_t widest_hidden_at;
};

// A measure of nothing yet.
ScriptMeasure start_measure();

// Adds the next line of a script to `measure`; say and say_team lines are
// chat alike. `line` holds the line's bytes
// without its LF, or its first bytes when it is longer than the caller
// keeps; `length` is its true length without the LF, and `ended` tells
// whether an LF followed it. A line longer than what is kept is taken to
// end as the tool's say lines do: a closing quote, and a CR before its LF.
void measure_line(ScriptMeasure& measure, std::string_view line, std::int64_t length, bool ended);

// Measures the whole `script`.
ScriptMeasure measure_script(std::string_view script);

// Whether the measured script passes `limit`.
bool passes(const ScriptMeasure& measure, Limit limit);

// Writes for tallsay-preview one line per limit the script passes, each
// "note: " with what the script holds, ": " and what happens past the
// limit, ending in LF; nothing when it passes none. Returns the length,
// cutting the text to fit `size` (with its NUL).
std::size_t describe_notes(const ScriptMeasure& measure, char* buffer, std::size_t size);

// Writes for a player the advice of every limit the script passes, each
// said once, apart by "; " and without a final stop; nothing when it passes
// none. Returns the length, cutting the text to fit `size` (with its NUL).
std::size_t describe_advice(const ScriptMeasure& measure, char* buffer, std::size_t size);

}  // namespace tallsay
