// Banner layout: the built-in 5x8 glyph font and the drawing of one text line
// as four rows of cell characters, each cell two pixels stacked.
#pragma once

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

}  // namespace tallsay
