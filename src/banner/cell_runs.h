// The drawing of every byte value, worked out once from the font: what the
// layout stores in each row for a byte, the gap included.
#pragma once

#include <cstdint>

#include "banner/banner.h"

namespace tallsay {

// The row bytes one text byte adds when it is not the last byte of its text.
// A last byte adds the same less its gap.
struct alignas(8) CellRun {
  char cells[kRowCount][8];  // the first `length` bytes of each row count
  std::uint8_t length;       // row positions, the gap included
  std::uint8_t columns;      // display columns, the gap included
  std::uint8_t gap;          // 1 when a blank gap column ends the run
};

struct CellRunTable {
  CellRun runs[256];
};

extern const CellRunTable kCellRuns;

}  // namespace tallsay
