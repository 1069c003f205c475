// The built tool run as a user runs it: the runs of tests/data/runs.cases,
// then what a table cannot say.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace tallsay {
namespace {

using test::read_file;
using test::write_file;

const std::string kHeader = "// TALLSAY 4 line text version 1.0\r\n\r\n";
const std::string kHiBlock =
    "// Hi\r\nsay \"%   %  \x96 \"\r\nsay \"%\x8B\x8B\x8B% \x96% \"\r\nsay \"%   %  % \"\r\n"
    "say \"\x96   \x96 \x96\x96\x96\"\r\n\r\n";
const std::string kBangBlock =
    "// !\r\nsay \"%\"\r\nsay \"%\"\r\nsay \" \"\r\nsay \"\x96\"\r\n\r\n";
const std::string kUsage =
    "Usage:\n"
    "  tallsay.exe --out-file=<outfile> [options]\n"
    "\n"
    "Program arguments:\n"
    "  --out-file=<outfile>         Output file (mandatory)\n"
    "  --in-file=<infile>           Input file (only for batch mode)\n"
    "  --line-len=<max line length> Display warning when output too long\n"
    "  --no-name                    Don't show player name (namehack)\n";

std::string expand(std::string text, const test::ScratchDir& dir) {
  const std::pair<const char*, std::string> names[] = {{"{EMPTY}", ""},
                                                       {"{HEADER}", kHeader},
                                                       {"{HI}", kHiBlock},
                                                       {"{BANG}", kBangBlock},
                                                       {"{OLD}", "old script\r\n"},
                                                       {"{USAGE}", kUsage},
                                                       {"{IN}", dir.file("in.txt")},
                                                       {"{OUT}", dir.file("out.cfg")},
                                                       {"{DIR}", dir.path.string()}};
  for (const auto& [name, value] : names) {
    for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
      text.replace(at, std::string(name).size(), value);
    }
  }
  return text;
}

std::vector<std::string> split_arguments(const std::string& field) {
  std::vector<std::string> args;
  for (std::size_t start = 0; !field.empty() && start <= field.size();) {
    const std::size_t bar = std::min(field.find('|', start), field.size());
    args.push_back(field.substr(start, bar - start));
    start = bar + 1;
  }
  return args;
}

TEST(RunTest, Table) {
  const auto cases = test::read_cases("runs.cases");
  ASSERT_EQ(51u, cases.size());
  for (const auto& c : cases) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    test::ScratchDir dir;
    std::filesystem::create_directory(dir.path / "folder");
    const auto out = dir.path / "out.cfg";
    if (c[3] != "") write_file(dir.path / "in.txt", expand(c[3], dir));
    if (c[4] != "") {
      write_file(out, expand(c[4], dir));
      std::filesystem::create_hard_link(out, dir.path / "link.cfg");
#ifdef __linux__
      std::filesystem::create_symlink(out, dir.path / "symlink.cfg");
#endif
    }
    std::vector<std::string> args;
    for (const auto& arg : split_arguments(c[2])) args.push_back(expand(arg, dir));
    const bool redirect = c[5].rfind('<', 0) == 0;
    const auto result =
        test::run_tool(dir, args, redirect ? "" : c[5], redirect ? " " + expand(c[5], dir) : "");
    EXPECT_EQ(std::stoi(c[6]), result.status) << c[0];
    EXPECT_EQ(test::console(c[7]), result.err) << c[0];
    EXPECT_EQ(test::console(expand(c[8], dir)), result.out) << c[0];
    if (c[9] == "") {
      EXPECT_FALSE(std::filesystem::exists(out)) << c[0];
    } else {
      EXPECT_EQ(expand(c[9], dir), read_file(out)) << c[0];
    }
  }
}

TEST(RunTest, InteractiveScriptIsCompleteBeforeTheNextLine) {
  test::ScratchDir dir;
  const std::string out = dir.file("chat.cfg");
  std::FILE* input = test::start_tool(dir, {"--out-file=" + out});
  ASSERT_NE(nullptr, input);
  for (const auto& [line, block] :
       {std::pair{"Hi", kHiBlock}, {"!", kBangBlock}, {"Hi", kHiBlock}}) {
    std::fputs((std::string(line) + "\n").c_str(), input);
    std::fflush(input);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (read_file(out) != kHeader + block && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(kHeader + block, read_file(out)) << line;
  }
  EXPECT_EQ(0, test::finish_tool(dir, input).status);
}

#ifdef __linux__
// The peak resident size of the tool run with `args`, in KiB, as GNU time
// measures it; -1 when GNU time is not there.
long tool_peak_kib(const test::ScratchDir& dir, const std::vector<std::string>& args) {
  if (!std::filesystem::exists("/usr/bin/time")) return -1;
  const std::string command = "/usr/bin/time -f %M -o " + test::shell_quote(dir.file("peak")) +
                              " " + test::tool_command(args);
  if (std::system(command.c_str()) != 0) return -1;
  return std::stol(read_file(dir.path / "peak"));
}

TEST(RunTest, SixMegabyteLineWithoutEndInConstantMemory) {
  test::ScratchDir dir;
  const std::vector<std::string> args = {"--out-file=" + dir.file("out.cfg"),
                                         "--in-file=" + dir.file("in.txt")};
  write_file(dir.path / "in.txt", "Hi\n");
  const long one_line_peak = tool_peak_kib(dir, args);
  // 6,000,000 bytes make 5,859 pieces of 1024 bytes and one of 384. Bytes of
  // 0x80 and above draw nothing, which keeps the script small.
  write_file(dir.path / "in.txt", std::string(6000000, '\xE9'));
  const long long_line_peak = tool_peak_kib(dir, args);
  const std::string script = read_file(dir.path / "out.cfg");
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
