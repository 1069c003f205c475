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

// The letters' glyphs as they are drawn, and where each letter is found.
// Each glyph is the count of its columns from the first that is not empty
// to the last, and those columns. The characters are found by blocks of 64: each block of the
// font's characters has a mask of those it draws and the number of the
// first of them, so a letter's number is that and the count of the mask's
// bits below its own.
struct LetterTable {
  std::uint8_t glyphs[kLetterCount][6];
  std::uint8_t block_of[0x10000 / 64];  // a block's slot, from 1; 0 where the font has none
  std::uint64_t masks[64];              // by slot
  std::uint16_t firsts[64];             // by slot
  std::uint16_t replacement;            // the number of U+FFFD
};

constexpr LetterTable build_letter_table() {
  LetterTable table{};
  int slots = 0;
  for (int i = 0; i < kLetterCount; ++i) {
    const Letter& letter = kLetters[i];
    int first = 0;
    int last = 4;
    while (first < 5 && letter.columns[first] == 0) ++first;
    while (last >= first && letter.columns[last] == 0) --last;
    table.glyphs[i][0] = static_cast<std::uint8_t>(last - first + 1);
    for (int c = first; c <= last; ++c) table.glyphs[i][1 + c - first] = letter.columns[c];
    std::uint8_t& slot = table.block_of[letter.code / 64];
    if (slot == 0) {
      slot = static_cast<std::uint8_t>(++slots);
      table.firsts[slot] = static_cast<std::uint16_t>(i);
    }
    table.masks[slot] |= std::uint64_t{1} << (letter.code % 64);
    if (letter.code == kReplacement) table.replacement = static_cast<std::uint16_t>(i);
  }
  return table;
}

constexpr LetterTable kLetterTable = build_letter_table();

#ifdef __EMSCRIPTEN__
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
#endif

// The bits set in `bits`.
constexpr int count_bits(std::uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((bits * 0x0101010101010101u) >> 56);
}

// Whether the font has a glyph of `character`.
constexpr bool in_font(char32_t character) {
  const std::uint8_t slot = character < 0x10000 ? kLetterTable.block_of[character / 64] : 0;
  return slot != 0 && (kLetterTable.masks[slot] >> (character % 64) & 1) != 0;
}

// The number of the letter whose glyph draws `character` (from U+0080 up):
// its own, or U+FFFD's where the font has none.
constexpr std::uint16_t letter_of(char32_t character) {
  if (!in_font(character)) return kLetterTable.replacement;
  const std::uint8_t slot = kLetterTable.block_of[character / 64];
  const std::uint64_t below = (std::uint64_t{1} << (character % 64)) - 1;
  return static_cast<std::uint16_t>(kLetterTable.firsts[slot] +
                                    count_bits(kLetterTable.masks[slot] & below));
}

#ifndef __EMSCRIPTEN__
// The programs store a letter's four rows as the layout stores a byte's: the
// eight bytes of each row at once, its columns, its gap and blanks, worked
// out once here. (The page, which is sent over the network, keeps only the
// columns, and works the cells out for each letter drawn.)
struct LetterRows {
  char rows[kLetterCount][kRowCount][8];
};

constexpr LetterRows build_letter_rows() {
  constexpr char kCells[4] = {kCellBlank, kCellUpper, kCellLower, kCellBoth};
  LetterRows table{};
  for (int i = 0; i < kLetterCount; ++i) {
    for (int r = 0; r < kRowCount; ++r) {
      for (int c = 0; c < 8; ++c) {
        const int column = c < 5 ? kLetterTable.glyphs[i][1 + c] : 0;
        table.rows[i][r][c] = kCells[(column >> (2 * r)) & 3];
      }
    }
  }
  return table;
}

constexpr LetterRows kLetterRows = build_letter_rows();

// The number of the letter of each character of two bytes, U+0080 to
// U+07FF, found once here rather than by its block's mask for each letter.
struct TwoByteLetters {
  std::uint16_t numbers[0x800];
};

constexpr TwoByteLetters build_two_byte_letters() {
  TwoByteLetters table{};
  for (char32_t character = 0x80; character < 0x800; ++character) {
    table.numbers[character] = letter_of(character);
  }
  return table;
}

constexpr TwoByteLetters kTwoByteLetters = build_two_byte_letters();
#endif

// Stores the glyph of letter `number` at `pos` of each row, and the blank gap
// after it; the next character stores over what is past the gap, as
// lay_out_banner's runs do. Returns the columns stored, the gap's included.
unsigned store_letter(Banner& banner, std::size_t pos, std::uint16_t number) {
  const std::uint8_t* glyph = kLetterTable.glyphs[number];
#ifndef __EMSCRIPTEN__
  for (int r = 0; r < kRowCount; ++r)
    std::memcpy(banner.rows[r] + pos, kLetterRows.rows[number][r], 8);
#else
  // All five columns are stored, those past the glyph's blank (their bytes
  // are 0).
  for (std::size_t c = 0; c < 5; ++c) {
    const char* cells = kColumnCells.cells[glyph[1 + c]];
    for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos + c] = cells[r];
  }
  for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos + glyph[0]] = kCellBlank;
#endif
  return glyph[0] + 1u;
}

}  // namespace

bool has_letter(char32_t character) {
  return in_font(character);
}

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
#ifndef __EMSCRIPTEN__
    const std::uint16_t number =
        character < 0x800 ? kTwoByteLetters.numbers[character] : letter_of(character);
#else
    const std::uint16_t number = letter_of(character);
#endif
    const unsigned columns = store_letter(banner, pos, number);
    pos += columns;
    width += static_cast<std::int32_t>(columns);
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
