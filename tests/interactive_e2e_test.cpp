// The interactive run through a real pipe: the script follows each line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support.h"

namespace tallsay {
namespace {

using test::console;
using test::read_file;
using test::run_tool;

const std::string kHeader = "// TALLSAY 4 line text version 1.0\r\n\r\n";

// The script of one line, as a batch run over that line alone writes it.
std::string script_of(const std::string& line, const std::vector<std::string>& extra = {}) {
  test::ScratchDir dir;
  test::write_file(dir.path / "line.txt", line + "\n");
  std::vector<std::string> args = {"--out-file=" + dir.file("s.cfg"),
                                   "--in-file=" + dir.file("line.txt")};
  args.insert(args.end(), extra.begin(), extra.end());
  EXPECT_EQ(0, run_tool(dir, args).status);
  return read_file(dir.path / "s.cfg");
}

class InteractiveTest : public testing::Test {
 protected:
  test::ScratchDir dir;
  std::string out = dir.file("chat.cfg");
};

TEST_F(InteractiveTest, LastLineAloneRemains) {
  const auto result = run_tool(dir, {"--out-file=" + out}, "one\ntwo\r\nthree\n\nfour\n");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("", result.err);
  EXPECT_EQ(script_of("three"), read_file(out));
}

TEST_F(InteractiveTest, NothingToConvertLeavesTheFileAlone) {
  for (const std::string input : {"\nHi\n", "",
                                  "\x1A"
                                  "Hi\n",
                                  "\r\n"}) {
    test::write_file(out, "old\r\n");
    EXPECT_EQ(0, run_tool(dir, {"--out-file=" + out}, input).status);
    EXPECT_EQ("old\r\n", read_file(out));
  }
  std::filesystem::remove(out);
  EXPECT_EQ(0, run_tool(dir, {"--out-file=" + out}, "").status);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(InteractiveTest, LongLineInPiecesLeavesTheLastPiece) {
  const std::string line = std::string(1024, 'a') + std::string(1024, 'b') + "cc";
  EXPECT_EQ(0, run_tool(dir, {"--out-file=" + out}, line + "\n").status);
  EXPECT_EQ(script_of("cc"), read_file(out));
}

TEST_F(InteractiveTest, WarnsForEveryLineTooWide) {
  const auto result = run_tool(dir, {"--out-file=" + out, "--line-len=5"}, "Hi\n!\nHi\n");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(console("Warning: Line longer as specified: 9 > 5\n"
                    "Warning: Line longer as specified: 9 > 5\n"),
            result.err);
  EXPECT_EQ(script_of("Hi", {"--line-len=5"}), read_file(out));
}

TEST_F(InteractiveTest, BadPathFailsAtTheFirstNonEmptyLine) {
  const std::string bad = dir.file("missing/chat.cfg");
  auto result = run_tool(dir, {"--out-file=" + bad}, "\n");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.err);
  result = run_tool(dir, {"--out-file=" + bad}, "Hi\n");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(console("Error, output file open error\n"), result.err);
}

TEST_F(InteractiveTest, ScriptIsCompleteBeforeTheNextLine) {
  std::FILE* input = test::start_tool(dir, {"--out-file=" + out, "--no-name"});
  ASSERT_NE(nullptr, input);
  for (const std::string line : {"one", "two", "three"}) {
    const std::string expected = script_of(line, {"--no-name"});
    std::fputs((line + "\n").c_str(), input);
    std::fflush(input);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (read_file(out) != expected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(expected, read_file(out)) << line;
  }
  EXPECT_EQ(0, test::finish_tool(dir, input).status);
}

#ifdef __linux__
TEST_F(InteractiveTest, DeviceFaults) {
  auto result = run_tool(dir, {"--out-file=/dev/full"}, "Hi\n");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Error, output file write error\n", result.err);

  test::write_file(out, "old\r\n");
  result = run_tool(dir, {"--out-file=" + out}, "", " </proc/self/mem");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Error, input read error\n", result.err);
  EXPECT_EQ("old\r\n", read_file(out));
}
#endif

}  // namespace
}  // namespace tallsay
