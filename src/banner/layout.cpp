// The four-row layout of a text line.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "banner/banner.h"
#include "banner/cell_runs.h"

namespace tallsay {

void lay_out_banner(std::string_view text, Banner& banner) {
  // Every byte stores a full eight-byte run into each row and advances by
  // its true length; the next store overwrites the excess. The last store
  // may reach kRowSlack bytes past the row's 6145 bytes.
  // `advance` carries the row position in its low 16 bits and the width in
  // its high 16 bits; neither can reach 2^16.
  std::uint32_t advance = 0;
  char* const row0 = banner.rows[0];
  char* const row1 = banner.rows[1];
  char* const row2 = banner.rows[2];
  char* const row3 = banner.rows[3];
  for (const char byte : text) {
    const CellRun& run = kCellRuns.runs[static_cast<unsigned char>(byte)];
    const std::size_t pos = advance & 0xFFFFu;
    std::memcpy(row0 + pos, run.cells[0], 8);
    std::memcpy(row1 + pos, run.cells[1], 8);
    std::memcpy(row2 + pos, run.cells[2], 8);
    std::memcpy(row3 + pos, run.cells[3], 8);
    advance += run.step;
  }
  if (!text.empty()) {
    advance -= kCellRuns.runs[static_cast<unsigned char>(text.back())].gap * 0x10001u;
  }
  // Within the rows for any text of up to kMaxTextBytes; the bound is for
  // the compiler, which cannot know that.
  const std::size_t length = std::min<std::size_t>(advance & 0xFFFFu, kRowBytes - 1);
  row0[length] = row1[length] = row2[length] = row3[length] = '\0';
  banner.row_length = static_cast<std::int32_t>(length);
  banner.width = static_cast<std::int32_t>(advance >> 16);
}

}  // namespace tallsay
