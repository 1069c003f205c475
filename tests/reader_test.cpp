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

TEST(ReaderTest, ByteRules) {
  const auto cases = test::read_cases("reader.cases");
  ASSERT_EQ(22u, cases.size());
  for (const auto& c : cases) {
    EXPECT_EQ(std::vector<std::string>(c.begin() + 2, c.end()), read_lines(c[1])) << c[0];
  }
}

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
