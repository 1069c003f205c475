// Writes a deterministic text of ordinary words and punctuation, in lines of
// 20 to 120 bytes, to standard output: the input of the benchmark.
// Usage: tallsay_make_text BYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kWords[] = {
    "the",   "game",  "is",    "on",     "well",   "played", "good", "luck",  "have",
    "fun",   "see",   "you",   "next",   "round",  "nice",   "shot", "team",  "we",
    "win",   "again", "hold",  "that",   "line",   "push",   "left", "right", "bomb",
    "site",  "clear", "quick", "brown",  "fox",    "jumps",  "over", "lazy",  "dog",
    "Hello", "World", "GG",    "Thanks", "Ready?", "Go",     "42",   "1337",  "(ok)",
};
const char* const kPunctuation[] = {"", "", "", ",", ".", "!", "?", ";", ":", " -"};

// A fixed linear congruential generator: the same text on every machine.
std::uint32_t next(std::uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<std::uint32_t>(state >> 33);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tallsay_make_text BYTES\n", stderr);
    return 2;
  }
  const long long total = std::atoll(argv[1]);
  std::uint64_t state = 20261206;
  char line[160];
  for (long long written = 0; written < total;) {
    const std::size_t target = 20 + next(state) % 101;  // 20 to 120 bytes
    std::size_t length = 0;
    while (length < target) {
      const char* word = kWords[next(state) % (sizeof kWords / sizeof *kWords)];
      const char* mark = kPunctuation[next(state) % (sizeof kPunctuation / sizeof *kPunctuation)];
      const std::size_t word_length = std::strlen(word), mark_length = std::strlen(mark);
      if (length + word_length + mark_length + 1 > target && length >= 20) break;
      if (length > 0) line[length++] = ' ';
      std::memcpy(line + length, word, word_length);
      std::memcpy(line + length + word_length, mark, mark_length);
      length += word_length + mark_length;
      if (length > 120) length = 120;
    }
    line[length++] = '\n';
    std::fwrite(line, 1, length, stdout);
    written += static_cast<long long>(length);
  }
  return 0;
}
