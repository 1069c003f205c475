// The reader's byte rules, driven through real streams; a read error is a
// row of runs.cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

// The lines of `input` read `read_size` bytes at a time until the first
// empty one, the way the run modes read them.
std::vector<std::string> read_lines(const std::string& input, std::size_t read_size) {
  static TextReader reader;
  test::ScratchDir dir;
  test::write_file(dir.path / "in", input);
  std::FILE* stream = open_file(dir.file("in").c_str(), "rb");
  start_reading(reader, stream, read_size);
  std::vector<std::string> lines;
  char line[kLineBufferSize];
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    EXPECT_EQ(length, std::strlen(line));
    lines.emplace_back(line, length);
  }
  EXPECT_FALSE(reader.failed);
  std::fclose(stream);
  return lines;
}

TEST(ReaderTest, ByteRules) {
  // Small reads put every byte on the edge of a read once: a CR, a line end,
  // a mark cut short, a UTF-16 unit or surrogate pair split in two.
  for (const auto& c : test::read_cases({"reader.cases"}, 2, 64)) {
    for (const std::size_t read_size :
         {kReadBlockBytes, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}}) {
      EXPECT_EQ(std::vector<std::string>(c.begin() + 2, c.end()), read_lines(c[1], read_size))
          << c[0] << ", reads of " << read_size << " bytes";
    }
  }
}

TEST(ReaderTest, NothingIsReadAfterTheEnd) {
  // Like a terminal after its end of input, a file that grows later has more
  // to give; the reader has met the end and must not ask again.
  static TextReader reader;
  test::ScratchDir dir;
  test::write_file(dir.path / "in", "ab");
  std::FILE* stream = open_file(dir.file("in").c_str(), "rb");
  start_reading(reader, stream);
  char line[kLineBufferSize];
  EXPECT_EQ(2u, read_text_line(line, reader));
  test::write_file(dir.path / "in", "abmore\n");
  EXPECT_EQ(0u, read_text_line(line, reader));
  std::fclose(stream);
}

}  // namespace
}  // namespace tallsay
