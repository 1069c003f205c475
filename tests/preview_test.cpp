// The preview of scripts written by the tool's own writer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banner/banner.h"
#include "preview/preview.h"
#include "script/script.h"
#include "support.h"

namespace tallsay {
namespace {

// A script of `texts` as the tool writes it.
std::string script_of(const std::vector<std::string>& texts, bool hide_name = false,
                      std::int32_t max_line_len = 0) {
  return test::write_script(texts, max_line_len, hide_name).script;
}

std::string preview(const std::string& script, PreviewResult expected = PreviewResult::kShown) {
  std::FILE* in = test::stream_holding(script);
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(expected, preview_script(in, out));
  const std::string shown = test::read_back(out);
  std::fclose(in);
  std::fclose(out);
  return shown;
}

std::string lf_only(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

const std::string kHi =
    "\u2588   \u2588  \u2580 \n\u2588\u2584\u2584\u2584\u2588 \u2580\u2588 \n"
    "\u2588   \u2588  \u2588 \n\u2580   \u2580 \u2580\u2580\u2580\n\n";

TEST(PreviewTest, Scripts) {
  const auto cases = test::read_cases("preview.cases");
  ASSERT_EQ(9u, cases.size());
  for (const auto& c : cases) {
    const bool hide_name = c[1].find('h') != std::string::npos;
    const std::string script =
        script_of({c.begin() + 3, c.end()}, hide_name, c[1].find('w') != std::string::npos ? 5 : 0);
    EXPECT_EQ(c[2], preview(c[1].find('l') != std::string::npos ? lf_only(script) : script))
        << c[0];
  }
}

TEST(PreviewTest, HandEditedRows) {
  // Bytes that the tool never puts into a row show as '?'; lines that are
  // not say lines end a block.
  EXPECT_EQ(
      "\u2588?\u2584 \n\n\u2580\n\n",
      preview("// TALLSAY 4 line text version 1.0\nsay \"%A\x01\x8B \"\n// x\nsay \"\x96\"\n"));
}

TEST(PreviewTest, InputThatIsNotAScript) {
  for (const std::string input : {"", "say \"%\"\r\n", "// TALLSAY 4 line text version 1.1\r\n",
                                  "\r\n// TALLSAY 4 line text version 1.0\r\n"}) {
    EXPECT_EQ("", preview(input, PreviewResult::kNotAScript)) << input;
  }
}

TEST(PreviewTest, Program) {
  test::ScratchDir dir;
  test::write_file(dir.path / "hi.cfg", script_of({"Hi"}));
  auto result = test::run_preview(dir, {dir.file("hi.cfg")});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kHi, result.out);
  for (const std::vector<std::string>& from_stdin : {std::vector<std::string>{}, {"-"}}) {
    result = test::run_preview(dir, from_stdin, lf_only(script_of({"Hi"})));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(kHi, result.out);
  }
  result = test::run_preview(dir, {dir.file("missing.cfg")});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(test::console("tallsay-preview: cannot open " + dir.file("missing.cfg") + "\n"),
            result.err);
  result = test::run_preview(dir, {}, "Hi\n");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(
      test::console("tallsay-preview: not a tallsay script: the first line is not its header\n"),
      result.err);
  EXPECT_EQ("", result.out);
}

}  // namespace
}  // namespace tallsay
