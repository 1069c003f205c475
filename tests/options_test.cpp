// Option parsing and the --line-len= number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

TEST(LineLenTest, Numbers) {
  for (const auto& c : test::read_cases({"line_len.cases"}, 2, 2)) {
    EXPECT_EQ(std::stoi(c[1]), parse_line_len(c[0].c_str())) << '"' << c[0] << '"';
  }
}

}  // namespace
}  // namespace tallsay
