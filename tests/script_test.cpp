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

const std::string kHeader = "// TALLSAY 4 line text version 1.0\r\n\r\n";
using test::write_script;

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
