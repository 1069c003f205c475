// Banner layout: the built-in 5x8 glyph font and the drawing of one text line
// as four rows of cell characters, each cell two pixels stacked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tallsay {

// A text line holds at most this many bytes, without its line end.
inline constexpr int kMaxTextBytes = 1024;

inline constexpr int kRowCount = 4;

// No text byte takes more than six row positions (five glyph columns and the
// blank gap after them), so a row and its NUL fit in 6 * 1024 + 1 bytes.
inline constexpr int kRowBytes = 6 * kMaxTextBytes + 1;

// The layout stores eight bytes at a time; each row buffer has room for the
// overhang of the last store.
inline constexpr int kRowSlack = 7;

// The cell characters. A cell shows pixel row 2r (upper) and 2r+1 (lower) of
// one glyph column in output row r.
inline constexpr char kCellBlank = static_cast<char>(0x20);  // neither pixel
inline constexpr char kCellUpper = static_cast<char>(0x96);  // upper only
inline constexpr char kCellLower = static_cast<char>(0x8B);  // lower only
inline constexpr char kCellBoth = static_cast<char>(0x25);   // both pixels

// The pixels a byte of a row shows: bit 0 the upper pixel, bit 1 the lower;
// -1 for a byte below 0x20, a control byte of the text that takes no column.
int cell_pixels(char cell);

// One text line laid out. rows[0] is the top row; every row is a
// NUL-terminated byte string of row_length bytes, the same for all four.
struct Banner {
  char rows[kRowCount][kRowBytes + kRowSlack];
  std::int32_t row_length;  // bytes before each row's NUL
  std::int32_t width;       // display columns: row_length less control bytes
};

// Fills `banner` with the drawing of `text`: for each byte in turn, a control
// byte (below 0x20) is copied into every row and takes no column; a space
// draws two blank columns; 0x21 to 0x7F draw their glyph's columns; 0x80 and
// above draw nothing. Every byte but a control byte gets one blank gap column
// after it unless it is the last byte of `text`. Replaces what `banner` held.
// REQUIRES: text.size() <= kMaxTextBytes.
void lay_out_banner(std::string_view text, Banner& banner);

// Reads the character that starts at text[at] as UTF-8 into `character`
// and returns its length in bytes. A byte that starts no character, and the
// longest start of a character that the next byte (or the end of `text`)
// breaks, read as one U+FFFD each, as the decoders of the web read them.
// REQUIRES: at < text.size().
std::size_t read_character(std::string_view text, std::size_t at, char32_t& character);

// read_character, with the characters of one and two bytes (ASCII, and the
// Latin, Greek, Cyrillic and Hebrew letters) read at once, in line.
inline std::size_t read_character_fast(std::string_view text, std::size_t at, char32_t& character) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    character = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF && at + 1 < text.size()) {
    const auto next = static_cast<unsigned char>(text[at + 1]);
    if ((next & 0xC0) == 0x80) {
      character = static_cast<char32_t>((lead & 0x1Fu) << 6 | (next & 0x3Fu));
      return 2;
    }
  }
  return read_character(text, at, character);
}

// Fills `banner` with the drawing of the UTF-8 `text`: each character below
// U+0080 as lay_out_banner draws that byte; each one from U+00A0 up with its
// glyph of the 5x8 font, its empty edge columns left out; any other, and
// each ill-formed part (see read_character), with the font's glyph of
// U+FFFD. Every character but a control character gets one blank gap column
// after it unless it is the last. Replaces what `banner` held.
// REQUIRES: text.size() <= kMaxTextBytes.
void lay_out_letters(std::string_view text, Banner& banner);

// Whether the 5x8 font has a glyph of `character`; lay_out_letters draws
// every other character from U+0080 up with the font's glyph of U+FFFD.
bool has_letter(char32_t character);

// Lays `text` out as lay_out_letters does when `utf8`, else as
// lay_out_banner does.
inline void lay_out_banner(std::string_view text, Banner& banner, bool utf8) {
  if (utf8) {
    lay_out_letters(text, banner);
  } else {
    lay_out_banner(text, banner);
  }
}

}  // namespace tallsay
