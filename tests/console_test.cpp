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

// The text of the issue that made bind commands run in a large script, 80
// lines of it, through both runs of the tool; and the same script with the
// text copied into the comment lines unchanged, which the model catches.
TEST(ConsoleModelTest, NoTextRunsACommandInAnyConsole) {
  std::string text;
  for (int i = 0; i < 80; ++i) text += "gg \xC3\xA9 bind w kill\r\r;quit\n";
  for (const bool batch : {true, false}) {
    test::ScratchDir dir;
    test::convert(dir, batch, text);
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
    std::vector<std::string> args = {"--line-len=3"};
    for (int i = 0; i < 3; ++i) {
      if (chosen >> i & 1) args.push_back(kChoices[i]);
    }
    test::convert(dir, false, text + "\n", "out.cfg", args);
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
