// The four-row layout of a text line.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "banner/banner.h"
#include "banner/cell_runs.h"

namespace tallsay {

int cell_pixels(char cell) {
  switch (cell) {
    case kCellUpper:
      return 1;
    case kCellLower:
      return 2;
    case kCellBoth:
      return 3;
    default:
      return static_cast<unsigned char>(cell) < 0x20 ? -1 : 0;
  }
}

void lay_out_banner(std::string_view text, Banner& banner) {
  // Every byte stores a full eight-byte run into each row and advances by
  // its true length; the next store overwrites the excess. The last store
  // may reach kRowSlack bytes past the row's 6145 bytes.
  std::size_t pos = 0;
  std::int32_t width = 0;
  for (const char byte : text) {
    const CellRun& run = kCellRuns.runs[static_cast<unsigned char>(byte)];
    for (int r = 0; r < kRowCount; ++r) std::memcpy(banner.rows[r] + pos, run.cells[r], 8);
    pos += run.length;
    width += run.columns;
  }
  if (!text.empty()) {
    const int gap = kCellRuns.runs[static_cast<unsigned char>(text.back())].gap;
    pos -= static_cast<std::size_t>(gap);
    width -= gap;
  }
  // Within the rows for any text of up to kMaxTextBytes; the bound is for
  // the compiler, which cannot know that.
  pos = std::min<std::size_t>(pos, kRowBytes - 1);
  for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos] = '\0';
  banner.row_length = static_cast<std::int32_t>(pos);
  banner.width = width;
}

}  // namespace tallsay
