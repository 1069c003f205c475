// The game's console: the model of how consoles of this kind run a script,
// the console's limits, and the notes on a script that passes them.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"
#include "console_model.h"
#include "script/script.h"
#include "support.h"

namespace tallsay {
namespace {

using test::ConsoleKind;

// The commands a console runs, each as "name|said".
std::string commands_of(const std::string& script, ConsoleKind kind) {
  std::string shown;
  for (const auto& command : test::run_console(script, kind)) {
    shown +=
        (shown.empty() ? "" : " ") + std::string(command.name) + "|" + std::string(command.said);
  }
  return shown;
}

// Known answers of the rules: where each console ends a command.
TEST(ConsoleModelTest, SplitsAsEachConsoleDoes) {
  const std::string large_gap(16400, ' ');
  struct Case {
    const char* name;
    std::string script;
    const char* target;
    const char* carriage_return;
    const char* line_by_line;
  };
  const Case cases[] = {
      {"comment", "// a b\r\n", "", "", ""},
      {"semicolon_in_comment", "// gg;quit\r\n", "quit|", "quit|", "quit|"},
      {"semicolon_in_quotes", "say \"a;b\"\r\n", "say|a;b", "say|a;b", "say|a;b"},
      {"cr_in_comment", "// gg\rquit\r\n", "", "quit|", "quit|"},
      {"cr_in_quotes", "say \"\r%\"\r\n", "say|\r%", "say|\" %\"|", "say|\" %\"|"},
      {"lf_line_ends", "say \"%\"\nsay \"%%\"\n", "say|% say|%%", "say|% say|%%", "say|% say|%%"},
      {"last_line_without_end", "say \"%\"", "say|%", "say|%", "say|%"},
      {"blank_command", " \t \r\n", "", "", ""},
      {"small_script_by_line", "// gg \xE9 bind w kill\r\n", "", "", ""},
      {"large_script_by_line", "//" + large_gap + "\xE9 bind w kill\r\n", "", "", "bind|w kill"},
      {"control_byte_by_line", "//" + large_gap + "\x01quit\r\n", "", "", "quit|"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.target, commands_of(c.script, ConsoleKind::kTarget)) << c.name;
    EXPECT_EQ(c.carriage_return, commands_of(c.script, ConsoleKind::kCarriageReturn)) << c.name;
    EXPECT_EQ(c.line_by_line, commands_of(c.script, ConsoleKind::kLineByLine)) << c.name;
  }
}

// The text of the issue that made bind commands run in a large script, 80
// lines of it, through both runs of the tool; and the same script with the
// text copied into the comment lines unchanged, which the model catches.
TEST(ConsoleModelTest, NoTextRunsACommandInAnyConsole) {
  std::string text;
  for (int i = 0; i < 80; ++i) text += "gg \xC3\xA9 bind w kill\r\r;quit\n";
  for (const bool batch : {true, false}) {
    test::ScratchDir dir;
    test::write_file(dir.path / "in.txt", text);
    std::vector<std::string> args = {"--out-file=" + dir.file("out.cfg")};
    if (batch) args.push_back("--in-file=" + dir.file("in.txt"));
    test::run_in_process(test::run_tool, dir, args, open_file(dir.file("in.txt").c_str(), "rb"));
    const std::string script = test::read_file(dir.path / "out.cfg");
    ASSERT_EQ(batch, script.size() > 16381) << "a script read line by line";
    EXPECT_EQ("", test::check_tool_script(script)) << batch;
    std::string raw = script;
    for (std::size_t at = 0; (at = raw.find("// gg ??", at)) != std::string::npos; ++at) {
      raw.replace(at, 23, "// gg \xC3\xA9 bind w kill\r:quit");
    }
    EXPECT_NE("", test::check_tool_script(raw)) << batch;
  }
}

TEST(ConsoleModelTest, NamesThatNameNothing) {
  for (const char* name : {"", "%", "%%\x96\x8B", "\"", " %"})
    EXPECT_TRUE(test::names_nothing(name));
  for (const char* name : {"quit", "%a", "+attack", "-x", "_", "7"}) {
    EXPECT_FALSE(test::names_nothing(name)) << name;
  }
}

// Each limit's sentences name its value, so that the numbers live in one
// place.
TEST(ConsoleTest, EachLimitSaysItsValue) {
  for (int i = 0; i < kLimitCount; ++i) {
    const ConsoleLimit& limit = console_limit(static_cast<Limit>(i));
    const std::string value = std::to_string(limit.value);
    EXPECT_NE(std::string::npos, std::string(limit.past).find(value)) << i;
    // The limits on a script of many banners have the same advice.
    if (std::string(limit.advice) != "bind one banner per key") {
      EXPECT_NE(std::string::npos, std::string(limit.advice).find(value)) << i;
    }
  }
}

// A script of `bytes` bytes or more: the header and comment lines of
// `line` bytes each, their CR included.
std::string script_of_size(std::size_t bytes, std::size_t line = 1000) {
  std::string script = std::string(kScriptHeader) + "\r\n";
  while (script.size() < bytes) {
    const std::size_t rest = std::min(line, bytes - script.size() - 1);
    script += "//" + std::string(rest - 3, 'x') + "\r\n";
  }
  return script;
}

// `count` say lines of `row`, and when `hide_name` the CR that leads it;
// say_team lines when `team`.
std::string says(int count, const std::string& row, bool hide_name = false, bool team = false) {
  std::string lines;
  for (int i = 0; i < count; ++i)
    lines +=
        std::string(team ? kSayTeamPrefix : kSayPrefix) + (hide_name ? "\r" : "") + row + "\"\r\n";
  return std::string(kScriptHeader) + "\r\n\r\n" + lines;
}

TEST(ConsoleTest, NotesOnEachLimitAndOnlyPastIt) {
  const std::string past_columns = console_limit(Limit::kColumnsWithName).past;
  struct Case {
    const char* name;
    std::string script;
    std::string notes;
    std::string advice;
  };
  const Case cases[] = {
      {"nothing", "", "", ""},
      {"script_at_limit", script_of_size(8191), "", ""},
      {"script_over_limit", script_of_size(8192),
       "note: 8192 bytes: the console runs nothing of a script over 8191 bytes\n",
       "the game runs nothing of a script over 8191 bytes"},
      {"line_at_limit", script_of_size(2000, 1019), "", ""},
      {"line_over_limit", script_of_size(2000, 1020),
       "note: line 2 is 1020 bytes: the console's limit is 1019 bytes a line\n",
       "a script line over 1019 bytes overflows the game's console"},
      {"lf_line_over_limit", "//" + std::string(1018, 'x') + "\n",
       "note: line 1 is 1020 bytes: the console's limit is 1019 bytes a line\n",
       "a script line over 1019 bytes overflows the game's console"},
      {"four_chat_lines", says(4, "%"), "", ""},
      {"five_chat_lines", says(5, "%"),
       "note: 5 chat lines: the console takes 4 chat lines in 4 seconds and mutes for 10 "
       "seconds\n",
       "bind one banner per key"},
      {"seven_chat_lines", says(7, "%"),
       "note: 7 chat lines: the console takes 4 chat lines in 4 seconds and mutes for 10 "
       "seconds\n",
       "bind one banner per key"},
      {"eight_chat_lines", says(8, "%"),
       "note: 8 chat lines: the console takes 4 chat lines in 4 seconds and mutes for 10 "
       "seconds\nnote: 8 commands at once: the server takes 7 commands of one packet and "
       "drops the rest\n",
       "bind one banner per key"},
      // 4 * (338 + 8) = 1384; a row of 338 bytes is cut, though.
      {"frame_at_limit", says(4, std::string(338, '\x01')),
       "note: line 3 says 338 bytes: the console cuts a chat line over 150 bytes, the name and "
       "\": \" included\n",
       "the game cuts a chat line over 150 bytes with your name"},
      {"frame_over_limit", says(2, std::string(685, ' ')),
       "note: 1386 bytes of say commands at once: the console sends at most 1384 bytes of "
       "commands at once, a say costing its bytes and 8, and then drops the connection\n"
       "note: line 3 says 685 bytes: the console cuts a chat line over 150 bytes, the name "
       "and \": \" included\n"
       "note: line 3 shows 685 columns: " +
           past_columns + "\n",
       "the game drops the connection when one key sends over 1384 bytes of chat; the game "
       "cuts a chat line over 150 bytes with your name; rows over 69 columns wrap on a "
       "640-pixel screen"},
      {"columns_at_limit", says(1, std::string(69, '%')), "", ""},
      {"columns_over_limit", says(1, std::string(70, '%')),
       "note: line 3 shows 70 columns: " + past_columns + "\n",
       "rows over 69 columns wrap on a 640-pixel screen"},
      {"control_bytes_take_no_column", says(1, std::string(69, '%') + "\t\x01"), "", ""},
      {"hidden_name_at_limit", says(1, std::string(77, '%'), true), "", ""},
      {"hidden_name_over_limit", says(1, std::string(78, '%'), true),
       "note: line 3 shows 78 columns: a chat line on a 640-pixel screen holds 77 columns\n",
       "rows over 77 columns wrap on a 640-pixel screen"},
      // 142 bytes and "Player: " are 150.
      {"chat_bytes_at_limit", says(1, std::string(142, '\x01')), "", ""},
      {"chat_bytes_over_limit", says(1, std::string(143, '\x01')),
       "note: line 3 says 143 bytes: the console cuts a chat line over 150 bytes, the name and "
       "\": \" included\n",
       "the game cuts a chat line over 150 bytes with your name"},
      // A team line shows "(Player): ", two bytes and columns more.
      {"team_columns_at_limit", says(1, std::string(67, '%'), false, true), "", ""},
      {"team_columns_over_limit", says(1, std::string(68, '%'), false, true),
       "note: line 3 shows 68 columns: a team chat line on a 640-pixel screen holds 67 columns "
       "after \"(Player)\"\n",
       "team rows over 67 columns wrap on a 640-pixel screen"},
      {"team_hidden_name_at_limit", says(1, std::string(77, '%'), true, true), "", ""},
      {"team_chat_bytes_at_limit", says(1, std::string(140, '\x01'), false, true), "", ""},
      {"team_chat_bytes_over_limit",
       says(4, std::string(141, '\x01'), false, true) + "say \"" + std::string(142, '\x01') +
           "\"\r\n",
       "note: 5 chat lines: the console takes 4 chat lines in 4 seconds and mutes for 10 "
       "seconds\nnote: line 3 says 141 bytes: the console cuts a chat line over 150 bytes, the "
       "name and \": \" included\n",
       "bind one banner per key; the game cuts a chat line over 150 bytes with your name"},
      {"say_without_quotes", std::string(kScriptHeader) + "\r\nsay " + std::string(70, '%'),
       "note: line 2 shows 70 columns: " + past_columns + "\n",
       "rows over 69 columns wrap on a 640-pixel screen"},
  };
  for (const Case& c : cases) {
    const ScriptMeasure measure = measure_script(c.script);
    char text[2048];
    describe_notes(measure, text, sizeof text);
    EXPECT_EQ(c.notes, text) << c.name;
    describe_advice(measure, text, sizeof text);
    EXPECT_EQ(c.advice, text) << c.name;
  }
}

TEST(ConsoleTest, NotesAreCutToFit) {
  const ScriptMeasure measure = measure_script(script_of_size(9000));
  char text[12];
  EXPECT_EQ(11u, describe_notes(measure, text, sizeof text));
  EXPECT_EQ("note: 9000 ", std::string(text));
  EXPECT_EQ(11u, describe_advice(measure, text, sizeof text));
  EXPECT_EQ("the game ru", std::string(text));
}

// The script of one line, made in memory, is the script an interactive run
// leaves for it, with every choice of --no-name, --utf8 and --team, and the
// console runs its rows and nothing else.
TEST(ConsoleTest, TheScriptOfALineIsTheRunsScript) {
  static ScriptFile script;
  static Banner banner;
  const char* const kChoices[] = {"--no-name", "--utf8", "--team"};
  for (int chosen = 0; chosen < 8; ++chosen) {
    const std::string text = "Hi;\t\xC3\xA9\xE2\x82";
    test::ScratchDir dir;
    std::vector<std::string> args = {"--out-file=" + dir.file("out.cfg"), "--line-len=3"};
    for (int i = 0; i < 3; ++i) {
      if (chosen >> i & 1) args.push_back(kChoices[i]);
    }
    test::write_file(dir.path / "in.txt", text + "\n");
    test::run_in_process(test::run_tool, dir, args, open_file(dir.file("in.txt").c_str(), "rb"));
    BlockOptions options;
    options.max_line_len = 3;
    options.hide_name = chosen & 1;
    options.utf8 = chosen & 2;
    options.team = chosen & 4;
    lay_out_banner(text, banner, options.utf8);
    const std::string made(script_of_line(script, text, banner, options));
    EXPECT_EQ(test::read_file(dir.path / "out.cfg"), made) << chosen;
    EXPECT_EQ("", test::check_tool_script(made)) << chosen;
  }
}

}  // namespace
}  // namespace tallsay
