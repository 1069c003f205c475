// Parsing of the command-line options.
#include <cstring>

#include "frontend/run_options.h"

namespace tallsay {
namespace {

// Returns the rest of `argument` after `prefix`, or null when it does not
// begin with it.
const char* value_after(const char* argument, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  return std::strncmp(argument, prefix, length) == 0 ? argument + length : nullptr;
}

bool is_number_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t parse_line_len(const char* text) {
  while (is_number_space(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  std::uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10u + static_cast<std::uint32_t>(*text - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

ParseOutcome parse_options(int argc, const char* const* argv, RunOptions& options,
                           const char*& bad_argument) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (const char* value = value_after(argument, "--out-file=")) {
      options.out_path = value;
    } else if (const char* path = value_after(argument, "--in-file=")) {
      options.in_path = path;
    } else if (const char* number = value_after(argument, "--line-len=")) {
      options.max_line_len = parse_line_len(number);
    } else if (std::strcmp(argument, "--no-name") == 0) {
      options.hide_name = true;
    } else if (std::strcmp(argument, "--utf8") == 0) {
      options.utf8 = true;
    } else if (std::strcmp(argument, "--team") == 0) {
      options.team = true;
    } else {
      bad_argument = argument;
      return ParseOutcome::kInvalidArgument;
    }
  }
  return options.out_path == nullptr ? ParseOutcome::kNoOutputFile : ParseOutcome::kRun;
}

}  // namespace tallsay
