// Option parsing and the --line-len= number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

TEST(LineLenTest, Numbers) {
  const auto cases = test::read_cases("line_len.cases");
  ASSERT_EQ(16u, cases.size());
  for (const auto& c : cases) {
    EXPECT_EQ(std::stoi(c[1]), parse_line_len(c[0].c_str())) << '"' << c[0] << '"';
  }
  EXPECT_EQ(0, parse_line_len(""));
}

TEST(ParseTest, LastOccurrenceWinsAndValuesAreTaken) {
  const char* argv[] = {"tallsay",        "--out-file=a", "--in-file=", "--line-len=3",
                        "--out-file=b=c", "--no-name",    "--no-name",  "--line-len= -9"};
  RunOptions options;
  const char* bad = nullptr;
  ASSERT_EQ(ParseOutcome::kRun, parse_options(8, argv, options, bad));
  EXPECT_STREQ("b=c", options.out_path);
  EXPECT_STREQ("", options.in_path);
  EXPECT_EQ(-9, options.max_line_len);
  EXPECT_TRUE(options.hide_name);
}

}  // namespace
}  // namespace tallsay
