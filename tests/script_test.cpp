// The script's bytes, written through real streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "banner/banner.h"
#include "script/script.h"
#include "support.h"

namespace tallsay {
namespace {

using test::from_hex;

const std::string kHeader = "// TALLSAY 4 line text version 1.0\r\n\r\n";
const std::string kHiRows[kRowCount] = {
    from_hex("25 20 20 20 25 20 20 96 20"), from_hex("25 8B 8B 8B 25 20 96 25 20"),
    from_hex("25 20 20 20 25 20 20 25 20"), from_hex("96 20 20 20 96 20 96 96 96")};

std::string say_lines(const std::string (&rows)[kRowCount], const std::string& prefix = "") {
  std::string lines;
  for (const auto& row : rows) lines += "say \"" + prefix + row + "\"\r\n";
  return lines;
}

struct Written {
  std::string script;
  std::string console;
};

// Writes the header and one block per text into a fresh script.
Written write_script(const std::vector<std::string>& texts, std::int32_t max_line_len = 0,
                     bool hide_name = false) {
  static ScriptFile script;
  static Banner banner;
  std::FILE* out = std::tmpfile();
  std::FILE* console = std::tmpfile();
  start_script(script, out);
  for (const auto& text : texts) {
    lay_out_banner(text, banner);
    EXPECT_TRUE(write_block(script, text, banner, max_line_len, hide_name, console));
  }
  EXPECT_TRUE(flush_script(script));
  Written written{test::read_back(out), test::read_back(console)};
  std::fclose(out);
  std::fclose(console);
  return written;
}

TEST(ScriptTest, HeaderAloneWithoutBlocks) {
  EXPECT_EQ(kHeader, write_script({}).script);
}

TEST(ScriptTest, HiBlock) {
  EXPECT_EQ(kHeader + "// Hi\r\n" + say_lines(kHiRows) + "\r\n", write_script({"Hi"}).script);
}

TEST(ScriptTest, HideNamePutsCrAfterEachOpeningQuote) {
  EXPECT_EQ(kHeader + "// Hi\r\n" + say_lines(kHiRows, "\r") + "\r\n",
            write_script({"Hi"}, 0, true).script);
}

TEST(ScriptTest, LineLengthWarning) {
  const struct {
    std::int32_t limit;
    bool warns;
  } cases[] = {{5, true}, {8, true}, {9, false}, {0, false}, {-5, false}, {1000, false}};
  for (const auto& c : cases) {
    const Written written = write_script({"Hi"}, c.limit);
    const std::string words = "Warning: Line longer as specified: 9 > " + std::to_string(c.limit);
    const std::string block = "// Hi\r\n" + say_lines(kHiRows) + "\r\n";
    EXPECT_EQ(kHeader + (c.warns ? "// " + words + "\r\n" : "") + block, written.script) << c.limit;
    EXPECT_EQ(c.warns ? words + "\n" : "", written.console) << c.limit;
  }
}

TEST(ScriptTest, TextBytesRepeatedUnchanged) {
  const std::string text = "100% \"quoted\" %s %n\tend";
  const std::string script = write_script({text}).script;
  EXPECT_EQ(0u, script.find(kHeader + "// " + text + "\r\n"));
  EXPECT_EQ(5, std::count(script.begin(), script.end(), '\t'));  // comment and four rows
}

TEST(ScriptTest, EmptyRowsGiveEmptyQuotes) {
  EXPECT_EQ(kHeader + "// \x80\r\nsay \"\"\r\nsay \"\"\r\nsay \"\"\r\nsay \"\"\r\n\r\n",
            write_script({"\x80"}).script);
  EXPECT_EQ(kHeader + "// \x7F\r\nsay \"\r\"\r\nsay \"\r\"\r\nsay \"\r\"\r\nsay \"\r\"\r\n\r\n",
            write_script({"\x7F"}, 0, true).script);
}

TEST(ScriptTest, BlocksBeyondOneBufferStayInOrder) {
  // Twenty full-width lines are several buffers' worth of script.
  std::vector<std::string> texts;
  std::string expected = kHeader;
  for (char c = 'A'; c < 'A' + 20; ++c) {
    texts.emplace_back(kMaxTextBytes, c);
    expected += write_script({texts.back()}).script.substr(kHeader.size());
  }
  ASSERT_GT(expected.size(), 3 * kWriteChunkBytes);
  EXPECT_EQ(expected, write_script(texts).script);
}

TEST(ScriptTest, WriteFailureIsReportedAndSticks) {
  static ScriptFile script;
  static Banner banner;
  test::ScratchDir dir;
  test::write_file(dir.path / "ro.cfg", "");
  std::FILE* read_only = std::fopen(dir.file("ro.cfg").c_str(), "rb");
  ASSERT_NE(nullptr, read_only);
  start_script(script, read_only);
  lay_out_banner("Hi", banner);
  EXPECT_TRUE(write_block(script, "Hi", banner, 0, false, stderr));  // still in the buffer
  EXPECT_FALSE(flush_script(script));
  EXPECT_FALSE(write_block(script, "Hi", banner, 0, false, stderr));
  EXPECT_FALSE(close_script(script));
}

}  // namespace
}  // namespace tallsay
