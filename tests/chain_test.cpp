// One banner per key press: the names, the key check, and chains written
// against the tool's own interactive scripts and the console model.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "chain/chain.h"
#include "console_model.h"
#include "support.h"

namespace tallsay {
namespace {

using test::read_file;
using test::ScratchDir;

TEST(ChainTest, KeyNames) {
  for (const char* key : {"F5", "f1", "F12", "a", "A", "z", "Z", "0", "9", "SPACE", "kp_5",
                          "MOUSE4", "Semicolon", "capslock", "MWHEELUP", "KP_ENTER"}) {
    EXPECT_TRUE(is_key_name(key)) << key;
  }
  for (const char* key : {"", "F0", "F13", "F1 ", "ab", "F5;quit", "\"F5\"", "w kill", ";", "\"",
                          "-", "MOUSE6", "KP_6", "F05"}) {
    EXPECT_FALSE(is_key_name(key)) << key;
  }
}

TEST(ChainTest, ScriptNames) {
  const std::string longest = std::string(60, 'x') + ".cfg";
  struct Case {
    std::string typed;
    std::string name;  // empty when refused
  };
  const Case cases[] = {
      {"chat.cfg", "chat.cfg"},
      {"hello", "hello.cfg"},
      {"my_chat-2.v1.cfg", "my_chat-2.v1.cfg"},
      {"AZaz09", "AZaz09.cfg"},
      {"CHAT.CFG", "CHAT.CFG"},
      {"9lives.Cfg", "9lives.Cfg"},
      {"_chat.cfg", ""},
      {"-chat.cfg", ""},
      {longest, longest},
      {std::string(60, 'x'), longest},
      {"x" + longest, ""},
      {std::string(61, 'x'), ""},
      {"my chat.cfg", ""},
      {"a\"b.cfg", ""},
      {"../x.cfg", ""},
      {"cfg\\x.cfg", ""},
      {".cfg", ""},
      {".hidden", ""},
      {"", ""},
      {"chat.cfg\" ; unbindall ; bind \"w\" \"quit", ""},
      {"chat;quit", ""},
      {"\xC3\xA9.cfg", ""},
  };
  for (const Case& c : cases) {
    char name[kMaxScriptNameBytes + 1] = "left over";
    EXPECT_EQ(!c.name.empty(), check_script_name(c.typed, name)) << c.typed;
    EXPECT_EQ(c.name, name) << c.typed;
  }
}

TEST(ChainTest, BindLines) {
  char line[kBindLineBytes];
  EXPECT_EQ(25u, bind_line("F5", "chat-2.cfg", line, sizeof line));
  EXPECT_EQ("bind F5 \"exec chat-2.cfg\"", std::string(line));
  char cut[8];
  EXPECT_EQ(7u, bind_line("F5", "chat-2.cfg", cut, sizeof cut));
  EXPECT_EQ("bind F5", std::string(cut));
}

TEST(ChainTest, NamesOfTheScriptsAfterTheFirst) {
  const std::string fits = std::string(58, 'x') + ".cfg";  // "-2" still fits, "-10" not
  struct Case {
    std::string first;
    int index;
    std::string name;  // empty when it does not fit
  };
  const Case cases[] = {
      {"chat.cfg", 0, "chat.cfg"},
      {"chat.cfg", 1, "chat-2.cfg"},
      {"chat.cfg", 11, "chat-12.cfg"},
      {"chat-2.cfg", 1, "chat-2-2.cfg"},
      {"CHAT.CFG", 2, "CHAT-3.CFG"},
      {fits, 1, std::string(58, 'x') + "-2.cfg"},
      {fits, 9, ""},
  };
  for (const Case& c : cases) {
    char name[kMaxScriptNameBytes + 1];
    EXPECT_EQ(!c.name.empty(), chain_script_name(c.first, c.index, name)) << c.first << c.index;
    EXPECT_EQ(c.name, name) << c.first << c.index;
  }
}

// The script the tool's interactive run leaves for `line`.
std::string tool_script(const std::string& line, const std::vector<std::string>& options) {
  ScratchDir dir;
  test::write_file(dir.path / "stdin", line + "\n");
  std::vector<std::string> args = options;
  args.push_back("--out-file=" + dir.file("tool.cfg"));
  test::run_in_process(test::run_tool, dir, args, open_file(dir.file("stdin").c_str(), "rb"));
  return read_file(dir.path / "tool.cfg");
}

ChainWork work;

struct Chain {
  ChainResult result;
  std::vector<std::string> names;  // the files written, in the chain's order
};

// Writes the chain of `lines` in `dir` from the first script `first`.
Chain write(const ScratchDir& dir, const std::vector<std::string>& lines, const char* first,
            const RunOptions& options = RunOptions{}) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  test::write_file(dir.path / "lines.txt", text);
  std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
  Chain chain;
  chain.result = write_chain(dir.file("lines.txt").c_str(), dir.path.u8string() + "/", first, "F5",
                             options, work, warnings);
  std::fclose(warnings);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    char name[kMaxScriptNameBytes + 1];
    chain_script_name(first, static_cast<int>(i), name);
    chain.names.push_back(name);
  }
  return chain;
}

TEST(ChainTest, EachScriptIsTheToolsScriptAndTheBindOfTheNext) {
  const std::vector<std::string> twelve = {"gg",  "wp",  "nice shot", "thanks",
                                           "a;b", "\tx", "\xC3\xA9!", "Hi",
                                           "1",   "2",   "last-1",    "last"};
  for (const auto& lines :
       {std::vector<std::string>{"gg"}, std::vector<std::string>{"gg", "wp"}, twelve}) {
    for (const bool hide_name : {false, true}) {
      ScratchDir dir;
      RunOptions options;
      options.hide_name = hide_name;
      options.max_line_len = 20;
      const Chain chain = write(dir, lines, "chat.cfg", options);
      EXPECT_EQ(ChainOutcome::kWritten, chain.result.outcome);
      EXPECT_EQ(static_cast<int>(lines.size()), chain.result.written);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& next = chain.names[(i + 1) % lines.size()];
        const std::string bind = "bind F5 \"exec " + next + "\"";
        std::vector<std::string> tool_options = {"--line-len=20"};
        if (hide_name) tool_options.push_back("--no-name");
        const std::string script = read_file(dir.path / chain.names[i]);
        EXPECT_EQ(tool_script(lines[i], tool_options) + bind + "\r\n", script) << i;
        EXPECT_EQ("", test::check_harmless(script, test::say_rows(script), {bind})) << i;
      }
      EXPECT_EQ(lines.size() + 2, test::names_in(dir).size()) << "no other file";
    }
  }
}

TEST(ChainTest, AFirstScriptWithANumberAlready) {
  ScratchDir dir;
  const Chain chain = write(dir, {"a", "b", "c"}, "chat-2.cfg");
  EXPECT_EQ(3, chain.result.written);
  EXPECT_EQ((std::vector<std::string>{"chat-2.cfg", "chat-2-2.cfg", "chat-2-3.cfg"}), chain.names);
  EXPECT_NE(std::string::npos, read_file(dir.path / "chat-2-3.cfg").find("exec chat-2.cfg\""));
}

TEST(ChainTest, AFailureKeepsTheScriptsBeforeIt) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.path / "chat-5.cfg");
  test::write_file(dir.path / "chat-6.cfg", "old\r\n");
  std::vector<std::string> lines;
  for (int i = 1; i <= 12; ++i) lines.push_back("line " + std::to_string(i));
  const Chain chain = write(dir, lines, "chat.cfg");
  EXPECT_EQ(ChainOutcome::kWriteFailed, chain.result.outcome);
  EXPECT_EQ(4, chain.result.written);
  EXPECT_NE(0, chain.result.error);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(tool_script(lines[i], {}) + "bind F5 \"exec " + chain.names[i + 1] + "\"\r\n",
              read_file(dir.path / chain.names[i]));
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.path / "chat-5.cfg"));
  EXPECT_EQ("old\r\n", read_file(dir.path / "chat-6.cfg"));
  EXPECT_FALSE(std::filesystem::exists(dir.path / "chat-7.cfg"));
}

TEST(ChainTest, WhatStopsAChainBeforeItStarts) {
  ScratchDir dir;
  const Chain empty = write(dir, {}, "chat.cfg");
  EXPECT_EQ(ChainOutcome::kWritten, empty.result.outcome);
  EXPECT_EQ(0, empty.result.written);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "chat.cfg"));

  const ChainResult missing = write_chain(dir.file("missing.txt").c_str(), "", "chat.cfg", "F5",
                                          RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kInputOpenFailed, missing.outcome);
  EXPECT_EQ(ENOENT, missing.error);

  // The text is the chain's second script.
  test::write_file(dir.path / "chat-2.cfg", "a\nb\nc\n");
  const ChainResult same = write_chain(dir.file("chat-2.cfg").c_str(), dir.path.u8string() + "/",
                                       "chat.cfg", "F5", RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kSameFile, same.outcome);
  EXPECT_EQ(1, same.written);
  EXPECT_EQ("a\nb\nc\n", read_file(dir.path / "chat-2.cfg"));

#ifdef __linux__
  const ChainResult unreadable = write_chain("/proc/self/mem", dir.path.u8string() + "/",
                                             "chat.cfg", "F5", RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kReadFailed, unreadable.outcome);
  EXPECT_EQ(0, unreadable.written);
#endif

  const std::string long_first = std::string(58, 'x') + ".cfg";
  std::vector<std::string> lines(10, "x");
  const Chain too_long = write(dir, lines, long_first.c_str());
  EXPECT_EQ(ChainOutcome::kNameTooLong, too_long.result.outcome);
  EXPECT_EQ(8, too_long.result.written);
}

TEST(ChainTest, ScriptsThatPassALimitOnTheirOwnAreNamed) {
  ScratchDir dir;
  std::vector<std::string> lines(12, "gg");
  lines[1] = std::string(15, 'W');   // 89 columns
  lines[10] = std::string(12, 'W');  // 71 columns
  const Chain chain = write(dir, lines, "chat.cfg");
  EXPECT_EQ(2, chain.result.over_count);
  EXPECT_EQ(2, chain.result.over_lines[0]);
  EXPECT_EQ(11, chain.result.over_lines[1]);
}

}  // namespace
}  // namespace tallsay
