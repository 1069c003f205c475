// The reader's byte rules, driven through real streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

// Reads lines until the first empty one, the way the run modes do.
std::vector<std::string> read_lines(std::FILE* stream, TextReader& reader) {
  start_reading(reader, stream);
  std::vector<std::string> lines;
  char line[kLineBufferSize];
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    EXPECT_EQ(length, std::string(line).size());
    lines.emplace_back(line, length);
  }
  return lines;
}

std::vector<std::string> read_lines(const std::string& input) {
  static TextReader reader;
  std::FILE* stream = test::stream_holding(input);
  auto lines = read_lines(stream, reader);
  EXPECT_FALSE(reader.failed);
  std::fclose(stream);
  return lines;
}

const std::string k1023(1023, 'a'), k1024(1024, 'b'), k1025(1025, 'c');

struct ReaderCase {
  const char* name;
  std::string input;
  std::vector<std::string> lines;
};

const ReaderCase kReaderCases[] = {
    {"lf", "one\ntwo\n", {"one", "two"}},
    {"crlf", "one\r\ntwo\r\n", {"one", "two"}},
    {"last_line_without_end", "one\ntwo", {"one", "two"}},
    {"empty_line_ends", "one\n\ntwo\n", {"one"}},
    {"crlf_alone_is_empty", "\r\nlater\n", {}},
    {"cr_cr_lf_is_one_cr", "\r\r\nnext\n", {"\r", "next"}},
    {"lone_cr_vanishes", "a\rb\n", {"ab"}},
    {"cr_at_the_very_end", "ab\r", {"ab"}},
    {"cr_before_end_mark",
     "ab\r\x1A"
     "cd\n",
     {"ab", "cd"}},
    {"end_mark_first",
     "\x1A"
     "ab\n",
     {}},
    {"end_mark_middle",
     "ab\x1A"
     "cd\n",
     {"ab", "cd"}},
    {"end_mark_before_lf", "ab\x1A\ncd\n", {"ab"}},
    {"two_end_marks",
     "ab\x1A\x1A"
     "cd\n",
     {"ab"}},
    {"nul_first", std::string("\0ab\n", 4), {}},
    {"nul_cuts_line", std::string("ab\0cd\nef\n", 9), {"ab", "ef"}},
    {"empty_input", "", {}},
    {"line_of_1023", k1023 + "\nx\n", {k1023, "x"}},
    {"line_of_1024_then_its_end", k1024 + "\nx\n", {k1024}},
    {"line_of_1024_crlf", k1024 + "\r\nx\n", {k1024}},
    {"line_of_1025_in_two", k1025 + "\nx\n", {k1025.substr(1), "c", "x"}},
    {"cr_not_counted_in_limit", "\r" + k1024 + "\n", {k1024}},
    {"end_mark_after_1024",
     k1024 + "\x1A"
             "x\n",
     {k1024}},
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.name;
}

class ReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, Lines) {
  EXPECT_EQ(GetParam().lines, read_lines(GetParam().input));
}

INSTANTIATE_TEST_SUITE_P(Reader, ReaderTest, testing::ValuesIn(kReaderCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ReaderTest, CrLfAcrossBlockBoundary) {
  // Lines of 1001 bytes up to a CR as the last byte of the first block.
  std::string input;
  std::vector<std::string> expected;
  while (input.size() + 1001 < kReadBlockBytes - 1) {
    expected.emplace_back(1000, 'y');
    input += expected.back() + "\n";
  }
  expected.emplace_back(kReadBlockBytes - 1 - input.size(), 'z');
  input += expected.back() + "\r\n" + "after\n";
  ASSERT_EQ('\r', input[kReadBlockBytes - 1]);
  expected.emplace_back("after");
  EXPECT_EQ(expected, read_lines(input));
}

TEST(ReaderTest, ReadErrorGivesNoLineAndIsRecorded) {
  static TextReader reader;
  test::ScratchDir dir;
  std::FILE* write_only = std::fopen(dir.file("w.txt").c_str(), "wb");
  ASSERT_NE(nullptr, write_only);
  EXPECT_TRUE(read_lines(write_only, reader).empty());
  EXPECT_TRUE(reader.failed);
  std::fclose(write_only);
}

}  // namespace
}  // namespace tallsay
