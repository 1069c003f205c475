// The built tool run as a user runs it: arguments, messages, statuses and the
// script's bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support.h"

namespace tallsay {
namespace {

using test::console;
using test::from_hex;
using test::read_file;
using test::run_tool;
using test::write_file;

const std::string kUsage = console(
    "Usage:\n"
    "  tallsay.exe --out-file=<outfile> [options]\n"
    "\n"
    "Program arguments:\n"
    "  --out-file=<outfile>         Output file (mandatory)\n"
    "  --in-file=<infile>           Input file (only for batch mode)\n"
    "  --line-len=<max line length> Display warning when output too long\n"
    "  --no-name                    Don't show player name (namehack)\n");
const std::string kHeader = "// TALLSAY 4 line text version 1.0\r\n\r\n";
const std::string kHiBlock =
    "// Hi\r\n" + from_hex(
                      "73 61 79 20 22 25 20 20 20 25 20 20 96 20 22 0D 0A "
                      "73 61 79 20 22 25 8B 8B 8B 25 20 96 25 20 22 0D 0A "
                      "73 61 79 20 22 25 20 20 20 25 20 20 25 20 22 0D 0A "
                      "73 61 79 20 22 96 20 20 20 96 20 96 96 96 22 0D 0A 0D 0A");
const std::string kOld = "old script\r\n";

class BatchTest : public testing::Test {
 protected:
  test::ScratchDir dir;
  std::string in = dir.file("in.txt");
  std::string out = dir.file("out.cfg");
};

TEST_F(BatchTest, ArgumentErrorsShowUsageAndTouchNothing) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "Error, no output file specified\n"},
      {{"--in-file=x", "--no-name"}, "Error, no output file specified\n"},
      {{"--help"}, "Invalid argument specified: '--help'\n"},
      {{"--out-file=" + out, "--in-file=" + in, "-o"}, "Invalid argument specified: '-o'\n"},
      {{"--out-file=" + out, "--No-Name"}, "Invalid argument specified: '--No-Name'\n"},
      {{"--out-file=" + out, "--line-len"}, "Invalid argument specified: '--line-len'\n"},
      {{"--out-file=" + out, "100%s %n"}, "Invalid argument specified: '100%s %n'\n"},
  };
  write_file(in, "Hi\n");
  for (const auto& c : cases) {
    const auto result = run_tool(dir, c.args);
    EXPECT_EQ(1, result.status) << c.message;
    EXPECT_EQ(console(c.message), result.err);
    EXPECT_EQ(kUsage, result.out);
    EXPECT_FALSE(std::filesystem::exists(out)) << c.message;
  }
}

TEST_F(BatchTest, Conversions) {
  const struct {
    const char* name;
    std::string input;
    std::vector<std::string> extra_args;
    std::string script;  // after the header
    std::string err;
  } cases[] = {
      {"hi", "Hi\n", {}, kHiBlock, ""},
      {"crlf_and_no_final_end", "Hi\r\nHi", {}, kHiBlock + kHiBlock, ""},
      {"stops_at_empty_line", "Hi\n\nHi\n", {}, kHiBlock, ""},
      {"end_mark_splits_line", "Hi\x1AHi\n", {}, kHiBlock + kHiBlock, ""},
      {"nul_cuts_line", std::string("Hi\0!\nHi", 7), {}, kHiBlock + kHiBlock, ""},
      {"empty_input", "", {}, "", ""},
      {"cr_cr_lf",
       "\r\r\n",
       {},
       "// \r\r\nsay \"\r\"\r\nsay \"\r\"\r\nsay \"\r\"\r\nsay \"\r\"\r\n\r\n",
       ""},
      {"warns_over_limit",
       "Hi\n",
       {"--line-len=5"},
       "// Warning: Line longer as specified: 9 > 5\r\n" + kHiBlock,
       "Warning: Line longer as specified: 9 > 5\n"},
      {"limit_with_blank_and_junk",
       "Hi\n",
       {"--line-len= 8x"},
       "// Warning: Line longer as specified: 9 > 8\r\n" + kHiBlock,
       "Warning: Line longer as specified: 9 > 8\n"},
      {"equal_width_no_warning", "Hi\n", {"--line-len=9"}, kHiBlock, ""},
      {"negative_never_warns", "Hi\n", {"--line-len=-5"}, kHiBlock, ""},
  };
  for (const auto& c : cases) {
    write_file(in, c.input);
    std::vector<std::string> args = {"--out-file=" + out, "--in-file=" + in};
    args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
    const auto result = run_tool(dir, args);
    EXPECT_EQ(0, result.status) << c.name;
    EXPECT_EQ(kHeader + c.script, read_file(out)) << c.name;
    EXPECT_EQ(console(c.err), result.err) << c.name;
    EXPECT_EQ("", result.out) << c.name;
  }
}

TEST_F(BatchTest, NoNameGivenTwice) {
  write_file(in, "!\n");
  const auto result =
      run_tool(dir, {"--no-name", "--out-file=" + out, "--in-file=" + in, "--no-name"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kHeader + "// !\r\nsay \"\r%\"\r\nsay \"\r%\"\r\nsay \"\r \"\r\nsay \"\r\x96\"\r\n\r\n",
            read_file(out));
}

TEST_F(BatchTest, FailuresLeaveTheScriptAsItWas) {
  std::filesystem::create_directory(dir.path / "folder");
  write_file(in, "Hi\n");
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {"missing_input",
       {"--out-file=" + out, "--in-file=" + dir.file("nope.txt")},
       "Error, input file not found\n"},
      {"empty_input_path", {"--out-file=" + out, "--in-file="}, "Error, input file not found\n"},
      {"folder_as_input",
       {"--out-file=" + out, "--in-file=" + dir.file("folder")},
       "Error, input file not found\n"},
      {"same_file_other_spelling",
       {"--out-file=" + out, "--in-file=" + (dir.path / "." / "out.cfg").string()},
       "Error, input and output file are the same\n"},
  };
  for (const auto& c : cases) {
    write_file(out, kOld);
    const auto result = run_tool(dir, c.args);
    EXPECT_EQ(1, result.status) << c.name;
    EXPECT_EQ(console(c.message), result.err) << c.name;
    EXPECT_EQ("", result.out) << c.name;
    EXPECT_EQ(kOld, read_file(out)) << c.name;
  }
}

TEST_F(BatchTest, ScriptThatCannotBeOpened) {
  write_file(in, "Hi\n");
  std::filesystem::create_directory(dir.path / "folder");
  for (const std::string& path :
       {std::string(), dir.file("missing/out.cfg"), dir.file(""), dir.file("folder")}) {
    const auto result = run_tool(dir, {"--out-file=" + path, "--in-file=" + in});
    EXPECT_EQ(1, result.status) << path;
    EXPECT_EQ(console("Error, output file open error\n"), result.err) << path;
  }
}

#ifdef __linux__
TEST_F(BatchTest, DeviceFaults) {
  // A short text fails when the script is closed, a longer one while
  // blocks are still being written.
  for (const std::string& text : {std::string("Hi\n"), std::string(20000, 'H') + "\n"}) {
    write_file(in, text);
    auto result = run_tool(dir, {"--out-file=/dev/full", "--in-file=" + in});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("Error, output file write error\n", result.err);
  }

  write_file(out, kOld);
  auto result = run_tool(dir, {"--out-file=" + out, "--in-file=/proc/self/mem"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Error, input read error\n", result.err);
  EXPECT_EQ(kHeader, read_file(out));

  result = run_tool(dir, {"--out-file=/dev/null", "--in-file=/dev/null"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.err);

  write_file(in, "Hi\n");
  result = run_tool(dir, {"--out-file=/dev/null", "--in-file=" + in});
  EXPECT_EQ(0, result.status);
  result = run_tool(dir, {"--out-file=" + out, "--in-file=/dev/null"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kHeader, read_file(out));
}

// The peak resident size of the tool run with `args`, in KiB, as GNU time
// measures it; -1 when GNU time is not there.
long tool_peak_kib(const test::ScratchDir& dir, const std::vector<std::string>& args) {
  if (!std::filesystem::exists("/usr/bin/time")) return -1;
  const std::string command = "/usr/bin/time -f %M -o " + test::shell_quote(dir.file("peak")) +
                              " " + test::tool_command(args);
  if (std::system(command.c_str()) != 0) return -1;
  return std::stol(read_file(dir.path / "peak"));
}

TEST_F(BatchTest, SixMegabyteLineWithoutEndInConstantMemory) {
  write_file(in, "Hi\n");
  const long one_line_peak = tool_peak_kib(dir, {"--out-file=" + out, "--in-file=" + in});
  // 6,000,000 bytes make 5,859 pieces of 1024 bytes and one of 384. Bytes of
  // 0x80 and above draw nothing, which keeps the script small.
  write_file(in, std::string(6000000, '\xE9'));
  const long long_line_peak = tool_peak_kib(dir, {"--out-file=" + out, "--in-file=" + in});
  const std::string script = read_file(out);
  std::size_t comments = 0;
  for (std::size_t at = 0; (at = script.find("\r\n// ", at)) != std::string::npos; ++at) {
    ++comments;
  }
  EXPECT_EQ(5860u, comments);
  if (one_line_peak < 0) GTEST_SKIP() << "no GNU time to measure memory with";
  EXPECT_LT(long_line_peak, one_line_peak + 1024) << "KiB; the line alone is 5.7 MiB";
}
#endif

}  // namespace
}  // namespace tallsay
