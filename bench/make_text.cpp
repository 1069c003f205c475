// Writes a deterministic text of ordinary words and punctuation, in lines of
// 20 to 120 bytes, to standard output: the input of the benchmark. With
// "mixed", every other word is Cyrillic, in UTF-8.
// Usage: tallsay_make_text BYTES [mixed]
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
const char* const kCyrillicWords[] = {
    "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",  // privet
    "\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0",                  // igra
    "\xD1\x85\xD0\xBE\xD1\x80\xD0\xBE\xD1\x88\xD0\xBE",  // khorosho
    "\xD1\x83\xD0\xB4\xD0\xB0\xD1\x87\xD0\xB8",          // udachi
    "\xD0\x9C\xD1\x8B",                                  // My
    "\xD0\xBF\xD0\xBE\xD0\xB1\xD0\xB5\xD0\xB4\xD0\xB0",  // pobeda
    "\xD0\x96\xD0\xB4\xD1\x91\xD0\xBC",                  // Zhdyom
};
const char* const kPunctuation[] = {"", "", "", ",", ".", "!", "?", ";", ":", " -"};

// A fixed linear congruential generator: the same text on every machine.
std::uint32_t next(std::uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<std::uint32_t>(state >> 33);
}

}  // namespace

int main(int argc, char** argv) {
  const bool mixed = argc == 3 && std::strcmp(argv[2], "mixed") == 0;
  if (argc != 2 && !mixed) {
    std::fputs("usage: tallsay_make_text BYTES [mixed]\n", stderr);
    return 2;
  }
  const long long total = std::atoll(argv[1]);
  std::uint64_t state = 20261206;
  char line[160];
  for (long long written = 0; written < total;) {
    const std::size_t target = 20 + next(state) % 101;  // 20 to 120 bytes
    std::size_t length = 0;
    while (length < target) {
      const char* word =
          mixed && next(state) % 2 == 0
              ? kCyrillicWords[next(state) % (sizeof kCyrillicWords / sizeof *kCyrillicWords)]
              : kWords[next(state) % (sizeof kWords / sizeof *kWords)];
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
