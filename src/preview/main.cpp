// tallsay-preview [SCRIPT]: shows the rows of a script as they will look in
// the game. Reads SCRIPT, or standard input when it is absent or "-".
#include <cstdio>
#include <cstring>

#include "frontend/platform.h"
#include "preview/preview.h"

namespace {

int fail(const char* message, const char* detail = "") {
  std::fprintf(stderr, "tallsay-preview: %s%s\n", message, detail);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) return fail("usage: tallsay-preview [SCRIPT]");
  const bool from_stdin = argc < 2 || std::strcmp(argv[1], "-") == 0;
  std::FILE* in = from_stdin ? stdin : std::fopen(argv[1], "rb");
  if (in == nullptr) return fail("cannot open ", argv[1]);
  if (from_stdin) tallsay::use_binary_mode(stdin);
  tallsay::use_binary_mode(stdout);
  const tallsay::PreviewResult result = tallsay::preview_script(in, stdout);
  if (!from_stdin) std::fclose(in);
  if (result == tallsay::PreviewResult::kNotAScript) {
    return fail("not a tallsay script: the first line is not its header");
  }
  return std::fflush(stdout) == 0 ? 0 : fail("cannot write the preview");
}
