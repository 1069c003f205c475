// The reader's byte rules, driven through real streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

// Reads lines until the first empty one, the way the run modes do.
std::vector<std::string> read_lines(std::FILE* stream, TextReader& reader,
                                    std::size_t read_size = kReadBlockBytes) {
  start_reading(reader, stream, read_size);
  std::vector<std::string> lines;
  char line[kLineBufferSize];
  for (std::size_t length; (length = read_text_line(line, reader)) != 0;) {
    EXPECT_EQ(length, std::strlen(line));
    lines.emplace_back(line, length);
  }
  return lines;
}

std::vector<std::string> read_lines(const std::string& input, std::size_t read_size) {
  static TextReader reader;
  test::ScratchDir dir;
  test::write_file(dir.path / "in", input);
  std::FILE* stream = open_file(dir.file("in").c_str(), "rb");
  auto lines = read_lines(stream, reader, read_size);
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

#ifdef __linux__
TEST(ReaderTest, ReadErrorInTheMiddleOfALineLosesThatLine) {
  // This process's memory read through /proc/self/mem, from text at the end
  // of a page that no page follows: the first read gives the text, the next
  // one fails.
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  auto* pages = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(MAP_FAILED, static_cast<void*>(pages));
  munmap(pages + page, page);
  const std::string text = "ab\ncd";
  char* at = pages + page - text.size();
  std::memcpy(at, text.data(), text.size());
  static TextReader reader;
  std::FILE* memory = std::fopen("/proc/self/mem", "rb");
  ASSERT_NE(nullptr, memory);
  lseek(fileno(memory), static_cast<off_t>(reinterpret_cast<std::uintptr_t>(at)), SEEK_SET);
  EXPECT_EQ(std::vector<std::string>{"ab"}, read_lines(memory, reader));
  EXPECT_TRUE(reader.failed);
  std::fclose(memory);
  munmap(pages, page);
}
#endif

}  // namespace
}  // namespace tallsay
