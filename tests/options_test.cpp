// Option parsing and the --line-len= number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_options.h"

namespace tallsay {
namespace {

TEST(LineLenTest, Numbers) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"12", 12},
      {"12abc", 12},
      {" 7", 7},
      {"\t\n\v\f\r 7", 7},
      {"+8", 8},
      {"-5", -5},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-3", 0},
      {"2147483647", 2147483647},
      {"2147483648", -2147483647 - 1},
      {"4294967297", 1},
      {"-2147483648", -2147483647 - 1},
      {"99999999999", 1215752191},
      {"0x10", 0},
      {"1 2", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, parse_line_len(c.text)) << '"' << c.text << '"';
}

struct ParseCase {
  const char* name;
  std::vector<const char*> args;
  ParseOutcome outcome;
  const char* bad_argument;
};

const ParseCase kParseCases[] = {
    {"no_arguments", {}, ParseOutcome::kNoOutputFile, nullptr},
    {"out_only", {"--out-file=a"}, ParseOutcome::kRun, nullptr},
    {"empty_out_is_present", {"--out-file="}, ParseOutcome::kRun, nullptr},
    {"help", {"--help"}, ParseOutcome::kInvalidArgument, "--help"},
    {"capitals", {"--out-file=a", "--NO-NAME"}, ParseOutcome::kInvalidArgument, "--NO-NAME"},
    {"no_name_appended", {"--no-name=1"}, ParseOutcome::kInvalidArgument, "--no-name=1"},
    {"option_without_equals", {"--out-file", "a"}, ParseOutcome::kInvalidArgument, "--out-file"},
    {"stops_at_first_bad", {"-x", "--bogus"}, ParseOutcome::kInvalidArgument, "-x"},
    {"bad_after_out", {"--out-file=a", "x"}, ParseOutcome::kInvalidArgument, "x"},
    {"missing_out", {"--in-file=a", "--no-name"}, ParseOutcome::kNoOutputFile, nullptr},
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Outcome) {
  std::vector<const char*> argv = {"tallsay"};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  RunOptions options;
  const char* bad = nullptr;
  EXPECT_EQ(GetParam().outcome,
            parse_options(static_cast<int>(argv.size()), argv.data(), options, bad));
  EXPECT_STREQ(GetParam().bad_argument, bad);
}

INSTANTIATE_TEST_SUITE_P(Options, ParseTest, testing::ValuesIn(kParseCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

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
