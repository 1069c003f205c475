// Whole runs of tallsay and tallsay-preview from the tables runs.cases and
// preview.cases, then what a table cannot say: scripts too large for a row,
// typed lines, failed and added writes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "console_model.h"
#include "frontend/run_options.h"
#include "preview/preview.h"
#include "support.h"

namespace tallsay {
namespace {

using test::expand;
using test::read_file;
using test::run_in_process;
using test::RunFunction;
using test::ScratchDir;

// `text` with each "\n" turned into the platform's console line end.
std::string console_text(std::string text) {
#ifdef _WIN32
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
    text.insert(at, 1, '\r');
  }
#endif
  return text;
}

// What every run must leave: no file beside those it was given but the
// script, a symbolic link still a link to out.cfg, a hard link still the same
// file as out.cfg.
void check_folder(const ScratchDir& dir, std::set<std::string> before, const std::string& name) {
  for (const char* made : {"out.cfg", "stdin", "stdout", "stderr"}) before.insert(made);
  for (const auto& left : test::names_in(dir))
    EXPECT_EQ(1u, before.count(left)) << name << ": " << left;
  if (before.count("symlink.cfg") != 0) {
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path / "symlink.cfg")) << name;
  }
  if (before.count("link.cfg") != 0) {
    EXPECT_TRUE(std::filesystem::equivalent(dir.path / "link.cfg", dir.path / "out.cfg")) << name;
  }
}

void run_table(const char* table, RunFunction run, const char* exe) {
  for (const auto& c : test::read_cases({"blocks.cases", table}, 10, 10)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    ScratchDir dir;
    std::filesystem::create_directory(dir.path / "folder");
    const auto out = dir.path / "out.cfg";
    test::write_file(dir.path / "in.txt", c[3]);
    if (c[4] != "") {
      test::write_file(out, c[4]);
      const std::string named = c[2] + c[5];
      if (named.find("{DIR}/link.cfg") != std::string::npos) {
        std::filesystem::create_hard_link(out, dir.path / "link.cfg");
      }
      if (named.find("{DIR}/symlink.cfg") != std::string::npos) {
        std::filesystem::create_symlink(out, dir.path / "symlink.cfg");
      }
    }
    const std::set<std::string> before = test::names_in(dir);
    std::vector<std::string> args;
    for (const std::string& arg : test::split(c[2], '|')) args.push_back(expand(arg, dir));
    test::ProgramResult result;
    if (c[1] == "process") {
      std::FILE* pipe = test::start_program(exe, dir, args);
      std::fwrite(c[5].data(), 1, c[5].size(), pipe);
      result = test::finish_program(dir, pipe);
#ifdef __linux__
    } else if (c[5].rfind("<fail:", 0) == 0) {
      result = run_in_process(run, dir, args, test::open_failing_stream(c[5].substr(6)));
#endif
    } else if (c[5].rfind('<', 0) == 0) {
      result = run_in_process(run, dir, args, open_file(expand(c[5].substr(1), dir).c_str(), "rb"));
    } else {
      test::write_file(dir.path / "stdin", c[5]);
      result = run_in_process(run, dir, args, open_file(dir.file("stdin").c_str(), "rb"));
    }
    EXPECT_EQ(std::stoi(c[6]), result.status) << c[0];
    const bool console = c[1] == "process";
    EXPECT_EQ(console ? console_text(expand(c[7], dir)) : expand(c[7], dir), result.err) << c[0];
    EXPECT_EQ(console ? console_text(c[8]) : c[8], result.out) << c[0];
    EXPECT_EQ(c[9], std::filesystem::exists(out) ? read_file(out) : "") << c[0];
    if (run == test::run_tool && c[9].rfind(kScriptHeader, 0) == 0) {
      EXPECT_EQ("", test::check_tool_script(c[9])) << c[0];
    }
    check_folder(dir, before, c[0]);
  }
}

TEST(RunTest, Tool) {
  run_table("runs.cases", test::run_tool, TALLSAY_EXE);
}

TEST(RunTest, Preview) {
  run_table(
      "preview.cases",
      [](int argc, const char* const* argv, std::FILE* in, const Console& c) {
        return close_preview(c, run_preview(argc, argv, in, c));
      },
      TALLSAY_PREVIEW_EXE);
}

TEST(RunTest, InteractiveScriptIsCompleteBeforeTheNextLine) {
  ScratchDir dir;
  const auto cases = test::read_cases({"blocks.cases", "interactive.cases"}, 2, 2);
  std::FILE* input = test::start_program(TALLSAY_EXE, dir, {"--out-file=" + dir.file("out.cfg")});
  for (const auto& c : cases) {
    std::fputs(c[0].c_str(), input);
    std::fflush(input);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (read_file(dir.path / "out.cfg") != c[1] && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(c[1], read_file(dir.path / "out.cfg")) << c[0];
  }
  EXPECT_EQ(0, test::finish_program(dir, input).status);
}

TEST(RunTest, WriteFailureStopsReadingAtOnce) {
  ScratchDir dir;
  test::write_file(dir.path / "in", test::numbered_lines(4000));
  static ScriptFile script;
  static TextReader reader;
  std::memset(&script, 0xA5, sizeof script);  // as a script on the stack may start
  std::FILE* input = open_file(dir.file("in").c_str(), "rb");
  start_script(script, open_file(dir.file("in").c_str(), "rb"));  // writes fail
  start_reading(reader, input);
  EXPECT_FALSE(convert_lines(reader, script, RunOptions{}, stderr));
  // The first write comes once a chunk has gathered, long before the end.
  char line[kLineBufferSize];
  EXPECT_NE(0u, read_text_line(line, reader));
  EXPECT_FALSE(close_script(script));
  std::fclose(input);
}

// Lines added to a script, such as a chain's bind lines, reach the file as
// the blocks do, a chunk at a time, not all at its close.
TEST(RunTest, AddedLinesAreWrittenAsTheyCome) {
  ScratchDir dir;
  static ScriptFile script;
  std::FILE* stream = open_file(dir.file("out.cfg").c_str(), "wb");
  std::setvbuf(stream, nullptr, _IONBF, 0);
  start_script(script, stream);
  const std::string line(100, 'x');
  std::string expected = std::string(kScriptHeader) + "\r\n\r\n";
  std::size_t written = 0;
  for (int i = 0; i < 4000; ++i) {
    ASSERT_TRUE(write_line(script, line));
    expected += line + "\r\n";
    written += line.size() + 2;
    ASSERT_LE(written - std::min(written, kWriteChunkBytes),
              std::filesystem::file_size(dir.path / "out.cfg"))
        << i;
  }
  EXPECT_TRUE(close_script(script));
  EXPECT_EQ(expected, read_file(dir.path / "out.cfg"));
}

// The text that once made bind commands run in a large script, 80 lines of
// it, through both runs of the tool; and the same script with the
// text copied into the comment lines unchanged, which the model catches.
TEST(RunTest, NoTextRunsACommandInAnyConsole) {
  std::string text;
  for (int i = 0; i < 80; ++i) text += "gg \xC3\xA9 bind w kill\r\r;quit\n";
  for (const bool batch : {true, false}) {
    ScratchDir dir;
    test::convert(dir, batch, text);
    const std::string script = read_file(dir.path / "out.cfg");
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
