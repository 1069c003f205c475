// Fuzz target: arbitrary argument vectors through the option parser. The
// input is split at NUL bytes into arguments.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/run_options.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// True when `p` points into one of the arguments.
bool points_into(const char* p, const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (p >= arg.data() && p <= arg.data() + arg.size()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args = {"tallsay"};
  args.emplace_back();
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back() += static_cast<char>(data[i]);
    }
  }
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  tallsay::RunOptions options;
  const char* bad = nullptr;
  const auto outcome =
      tallsay::parse_options(static_cast<int>(args.size()), argv.data(), options, bad);
  switch (outcome) {
    case tallsay::ParseOutcome::kRun:
      check(options.out_path != nullptr && points_into(options.out_path, args), "out path");
      check(bad == nullptr, "no bad argument on success");
      break;
    case tallsay::ParseOutcome::kInvalidArgument: {
      check(bad != nullptr, "bad argument named");
      bool is_argument = false;
      for (std::size_t i = 1; i < args.size(); ++i) is_argument |= bad == argv[i];
      check(is_argument, "bad argument is one of the arguments");
      break;
    }
    case tallsay::ParseOutcome::kNoOutputFile:
      check(options.out_path == nullptr && bad == nullptr, "no output file");
      break;
  }
  if (options.in_path != nullptr) check(points_into(options.in_path, args), "in path");
  // Short plain numbers must read as the C library reads them.
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 9) {
      check(tallsay::parse_line_len(arg.c_str()) == std::atoi(arg.c_str()), "short numbers");
    }
  }
  return 0;
}
