// Letters beyond ASCII: UTF-8 read a character at a time, and the drawing of
// a line of such text with the glyphs of the 5x8 font.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "banner/banner.h"
#include "banner/cell_runs.h"
#include "banner/letter_glyphs.h"

namespace tallsay {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// A letter's glyph as it is drawn: its columns without the empty edges.
struct LetterRun {
  std::uint8_t count;
  std::uint8_t columns[5];
};

// The runs of every letter, their characters, and for each character below
// U+0800 (one or two bytes of UTF-8, the Latin, Greek, Cyrillic and Hebrew
// letters) the number of its letter, so that those are found at once.
struct LetterTable {
  LetterRun runs[kLetterCount];
  std::uint16_t codes[kLetterCount];
  std::uint16_t below_0800[0x800];  // the letter's number; kLetterCount where the font has none
  std::uint16_t replacement;        // the number of U+FFFD
};

constexpr LetterTable build_letter_table() {
  LetterTable table{};
  for (auto& number : table.below_0800) number = kLetterCount;
  for (int i = 0; i < kLetterCount; ++i) {
    const Letter& letter = kLetters[i];
    int first = 0;
    int last = 4;
    while (first < 5 && letter.columns[first] == 0) ++first;
    while (last >= first && letter.columns[last] == 0) --last;
    LetterRun& run = table.runs[i];
    for (int c = first; c <= last; ++c) run.columns[run.count++] = letter.columns[c];
    table.codes[i] = letter.code;
    if (letter.code < 0x800) table.below_0800[letter.code] = static_cast<std::uint16_t>(i);
    if (letter.code == kReplacement) table.replacement = static_cast<std::uint16_t>(i);
  }
  return table;
}

constexpr LetterTable kLetterTable = build_letter_table();

// The cells of a column byte, one for each row, top row first.
struct ColumnCells {
  char cells[256][kRowCount];
};

constexpr ColumnCells build_column_cells() {
  constexpr char kCells[4] = {kCellBlank, kCellUpper, kCellLower, kCellBoth};
  ColumnCells table{};
  for (int column = 0; column < 256; ++column) {
    for (int r = 0; r < kRowCount; ++r) table.cells[column][r] = kCells[(column >> (2 * r)) & 3];
  }
  return table;
}

constexpr ColumnCells kColumnCells = build_column_cells();

// The run of the glyph that draws `character` (from U+0080 up): its letter's,
// or U+FFFD's where the font has none.
const LetterRun& letter_run(char32_t character) {
  std::uint16_t number = kLetterCount;
  if (character < 0x800) {
    number = kLetterTable.below_0800[character];
  } else if (character <= 0xFFFF) {
    const std::uint16_t* end = kLetterTable.codes + kLetterCount;
    const std::uint16_t* found =
        std::lower_bound(kLetterTable.codes, end, static_cast<std::uint16_t>(character));
    if (found != end && *found == character) {
      number = static_cast<std::uint16_t>(found - kLetterTable.codes);
    }
  }
  return kLetterTable.runs[number < kLetterCount ? number : kLetterTable.replacement];
}

}  // namespace

std::size_t read_character(std::string_view text, std::size_t at, char32_t& character) {
  const auto lead = static_cast<unsigned char>(text[at]);
  character = kReplacement;
  if (lead < 0x80) {
    character = lead;
    return 1;
  }
  // The bytes that may follow the lead, the first of them in a narrower
  // range where the lead alone would allow an overlong form, a surrogate or
  // a character past U+10FFFF.
  int following = 0;
  char32_t value = 0;
  unsigned char lower = 0x80;
  unsigned char upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    following = 1;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    following = 2;
    value = lead & 0x0Fu;
    lower = lead == 0xE0 ? 0xA0 : 0x80;
    upper = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    following = 3;
    value = lead & 0x07u;
    lower = lead == 0xF0 ? 0x90 : 0x80;
    upper = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 1;
  }
  std::size_t length = 1;
  for (; following > 0; --following, ++length) {
    if (at + length >= text.size()) return length;
    const auto next = static_cast<unsigned char>(text[at + length]);
    if (next < lower || next > upper) return length;
    lower = 0x80;
    upper = 0xBF;
    value = value << 6 | (next & 0x3Fu);
  }
  character = value;
  return length;
}

void lay_out_letters(std::string_view text, Banner& banner) {
  std::size_t pos = 0;
  std::int32_t width = 0;
  int last_gap = 0;
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      // As lay_out_banner draws it, the overhang of each store overwritten
      // by the next.
      const CellRun& run = kCellRuns.runs[byte];
      for (int r = 0; r < kRowCount; ++r) std::memcpy(banner.rows[r] + pos, run.cells[r], 8);
      pos += run.length;
      width += run.columns;
      last_gap = run.gap;
      ++at;
      continue;
    }
    char32_t character;
    at += read_character_fast(text, at, character);
    const LetterRun& run = letter_run(character);
    for (int c = 0; c < run.count; ++c) {
      const char* cells = kColumnCells.cells[run.columns[c]];
      for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos] = cells[r];
      ++pos;
    }
    for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos] = kCellBlank;
    pos += 1;
    width += run.count + 1;
    last_gap = 1;
  }
  pos -= static_cast<std::size_t>(last_gap);
  width -= last_gap;
  // Within the rows for any text of up to kMaxTextBytes, as no byte draws
  // more than six positions; the bound is for the compiler.
  pos = std::min<std::size_t>(pos, kRowBytes - 1);
  for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos] = '\0';
  banner.row_length = static_cast<std::int32_t>(pos);
  banner.width = width;
}

}  // namespace tallsay
