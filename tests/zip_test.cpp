// The page's zip archive of a chain, read back by the system's unzip.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support.h"
#include "web/zip.h"

namespace tallsay {
namespace {

using test::read_file;
using test::ScratchDir;

#ifdef __linux__
// What `unzip` makes of the archive of `names` and `contents`: it lists the
// archive, then extracts every file, checking each against its CRC-32.
TEST(ZipTest, UnzipReadsEveryFileBackWhole) {
  if (std::system("command -v unzip >/dev/null") != 0) GTEST_SKIP() << "no unzip here";
  ScratchDir dir;
  std::string big;
  for (int i = 0; i < 70000; ++i) big += static_cast<char>(i * 7 % 256);
  const std::string_view names[] = {"chat.cfg", "chat-2.cfg", "empty.cfg", "big.cfg"};
  const std::string_view contents[] = {"// TALLSAY\r\nsay \"\x96\x8B%\"\r\n",
                                       "bind F5 \"exec chat.cfg\"\r\n", "", big};
  std::FILE* out = std::fopen(dir.file("chain.zip").c_str(), "wb");
  ASSERT_TRUE(write_zip(out, names, contents, 4, ZipTime{2026, 12, 7, 18, 30, 58}));
  std::fclose(out);
  const std::string quiet = " >" + dir.file("unzip.log") + " 2>&1";
  ASSERT_EQ(0, std::system(("unzip -Z -T " + dir.file("chain.zip") + quiet).c_str()));
  const std::string listing = read_file(dir.path / "unzip.log");
  EXPECT_NE(std::string::npos, listing.find("20261207.183058 chat.cfg")) << listing;
  // Files that unpack writable, with no attribute but their name.
  std::size_t writable = 0;
  for (std::size_t at = 0; (at = listing.find("\n-rw----     1.0 fat", at)) != listing.npos; ++at) {
    ++writable;
  }
  EXPECT_EQ(4u, writable) << listing;
  ASSERT_EQ(
      0,
      std::system(("unzip -q " + dir.file("chain.zip") + " -d " + dir.file("out") + quiet).c_str()))
      << read_file(dir.path / "unzip.log");
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(contents[i], read_file(dir.path / "out" / names[i])) << names[i];
  }
}

TEST(ZipTest, AnArchiveOfNoFileAndAFailedWrite) {
  ScratchDir dir;
  std::FILE* out = std::fopen(dir.file("none.zip").c_str(), "wb");
  ASSERT_TRUE(write_zip(out, nullptr, nullptr, 0, ZipTime{1980, 1, 1, 0, 0, 0}));
  std::fclose(out);
  EXPECT_EQ(std::string("PK\x05\x06", 4) + std::string(18, '\0'), read_file(dir.path / "none.zip"));
  std::FILE* full = std::fopen("/dev/full", "wb");
  std::setvbuf(full, nullptr, _IONBF, 0);
  const std::string_view name = "a.cfg";
  const std::string_view content = "a";
  EXPECT_FALSE(write_zip(full, &name, &content, 1, ZipTime{2026, 1, 1, 0, 0, 0}));
  std::fclose(full);
}
#endif

}  // namespace
}  // namespace tallsay
