// The four-row layout of a text line.
#include <cstring>

#include "banner/banner.h"
#include "banner/cell_runs.h"

namespace tallsay {

void lay_out_banner(std::string_view text, Banner& banner) {
  // Every byte stores a full eight-byte run into each row and advances by
  // its true length; the next store overwrites the excess. The last store
  // may reach kRowSlack bytes past the row's 6145 bytes.
  int pos = 0;
  int width = 0;
  for (const char byte : text) {
    const CellRun& run = kCellRuns.runs[static_cast<unsigned char>(byte)];
    for (int r = 0; r < kRowCount; ++r) std::memcpy(banner.rows[r] + pos, run.cells[r], 8);
    pos += run.length;
    width += run.width;
  }
  if (!text.empty()) {
    const CellRun& last = kCellRuns.runs[static_cast<unsigned char>(text.back())];
    pos -= last.gap;
    width -= last.gap;
  }
  for (int r = 0; r < kRowCount; ++r) banner.rows[r][pos] = '\0';
  banner.row_length = pos;
  banner.width = width;
}

}  // namespace tallsay
