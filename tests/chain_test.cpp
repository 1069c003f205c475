// What stops write_chain before its first script, which the window's chains
// (window_chains.cases) never reach: it looks at the text first.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "chain/chain.h"
#include "support.h"

namespace tallsay {
namespace {

ChainWork work;

TEST(ChainTest, WhatStopsAChainBeforeItStarts) {
  test::ScratchDir dir;
  const std::string folder = dir.path.u8string() + "/";
  test::write_file(dir.path / "empty.txt", "");
  const ChainResult empty = write_chain(dir.file("empty.txt").c_str(), folder, "chat.cfg", "F5",
                                        RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kWritten, empty.outcome);
  EXPECT_EQ(0, empty.written);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "chat.cfg"));
  const ChainResult missing = write_chain(dir.file("missing.txt").c_str(), folder, "chat.cfg", "F5",
                                          RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kInputOpenFailed, missing.outcome);
  EXPECT_EQ(ENOENT, missing.error);
#ifdef __linux__
  const ChainResult unreadable =
      write_chain("/proc/self/mem", folder, "chat.cfg", "F5", RunOptions{}, work, stderr);
  EXPECT_EQ(ChainOutcome::kReadFailed, unreadable.outcome);
  EXPECT_EQ(0, unreadable.written);
#endif
}

}  // namespace
}  // namespace tallsay
