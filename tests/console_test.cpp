// The model of how consoles of this kind run a script, on the scripts of a
// text that tries to run commands.
#include <gtest/gtest.h>

#include <string>

#include "console_model.h"
#include "support.h"

namespace tallsay {
namespace {

// The text that once made bind commands run in a large script, 80
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

}  // namespace
}  // namespace tallsay
